#pragma once

#include <QByteArray>
#include <QString>

namespace settings {

// Where and as whom the program sends and fetches mail. One process-wide
// instance, empty at start, filled by LoadAccountFile and changed only by the
// server settings window.
struct AccountSettings
{
    QString SmtpServer;
    QString Pop3Server;
    QString MailAddress;
    qint16 UseApop = 0; // 1: log in with APOP, 0: without

    friend bool operator==(const AccountSettings &, const AccountSettings &) = default;
};

// The process-wide account settings.
AccountSettings &accountSettings();

inline constexpr char AccountFileName[] = "korvix.ini";

// The account file "korvix.ini" in the current working directory (an existing
// file whose name differs only in letter case is taken as it).
[[nodiscard]] QString accountFilePath();

// Fills the process-wide settings from the account file. A missing file leaves
// them as they are; keys that are not in the file keep their values.
void LoadAccountFile();

// Writes the process-wide settings to the account file, replacing it. Returns
// false when the file cannot be written; the settings in memory are untouched.
[[nodiscard]] bool SaveAccountFile();

// The rules of the file, apart from the file system. The content is CP932 text;
// each line is a case-sensitive key "SMTP=", "POP3=", "MAIL=" or "APOP="
// followed directly by at most 100 characters of value. The last of repeated
// keys wins; other lines are skipped.
void applyAccountFileContent(const QByteArray &content, AccountSettings *settings);
// Exactly the four lines SMTP, POP3, MAIL, APOP, each ended by CR LF, in CP932.
[[nodiscard]] QByteArray accountFileContent(const AccountSettings &settings);

// A text read as a number the way the account file's APOP value is: blanks
// skipped, the leading numeric part taken (0 when there is none), rounded to
// the nearest integer with halves to the even neighbour and kept within the
// 16-bit range.
[[nodiscard]] qint16 leadingNumberAsInt16(const QString &text);

// The message shown when the account file cannot be written.
[[nodiscard]] QString accountFileWriteFailedText();

} // namespace settings
