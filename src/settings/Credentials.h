#pragma once

#include <QString>

namespace settings {

// The POP3 user ID and password from the credentials file "iniIdPass.ini" of
// the data folder (section "EXEINI", keys "NAME" and "NAME2", plain text).
struct Credentials
{
    QString userId;
    QString password;
};

inline constexpr char CredentialsFileName[] = "iniIdPass.ini";

[[nodiscard]] QString credentialsFilePath();

// The ID and password to use: those last entered with the save box clear in
// this session, else the saved ones; empty texts for what is missing.
[[nodiscard]] Credentials LoadCredentials();

enum class SaveChoice { Save, DoNotSave };

// The credentials window's "OK": with SaveChoice::Save writes "NAME", "NAME2"
// and "NAME3" = "1"; otherwise only "NAME3" = "0", keeping an earlier pair in
// the file, and the pair entered serves LoadCredentials until the program ends.
// The file is made readable and writable by its owner only. Returns
// false when a write failed.
[[nodiscard]] bool SaveCredentials(const Credentials &credentials, SaveChoice choice);

// The message shown when the credentials cannot be saved.
[[nodiscard]] QString credentialsWriteFailedText();

} // namespace settings
