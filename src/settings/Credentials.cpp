#include "settings/Credentials.h"

#include "common/ProfileFile.h"
#include "common/ProgramFolder.h"
#include "common/TextHelpers.h"

#include <optional>

namespace settings {
namespace {

const QString Section = QString::fromLatin1(common::ProfileSection);

common::ProfileFile credentialsFile()
{
    common::ProfileFile file(credentialsFilePath());
    // The password is kept as plain text, so nobody but the owner may read it.
    file.setCreatePermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner, common::PermissionsOnEveryWrite);
    return file;
}

// A pair entered with the save box clear serves the rest of the session in
// place of the saved one; it belongs to the credentials file it was entered for.
struct TypedPair
{
    QString filePath;
    Credentials credentials;
};

std::optional<TypedPair> &typedPair()
{
    static std::optional<TypedPair> pair;
    return pair;
}

} // namespace

QString credentialsFilePath()
{
    return common::ProgramFolder::dataFile(QString::fromLatin1(CredentialsFileName));
}

Credentials LoadCredentials()
{
    if (typedPair() && typedPair()->filePath == credentialsFilePath())
        return typedPair()->credentials;
    const common::ProfileFile file = credentialsFile();
    return {file.readText(Section, QStringLiteral("NAME"), QString()),
            file.readText(Section, QStringLiteral("NAME2"), QString())};
}

bool SaveCredentials(const Credentials &credentials, SaveChoice choice)
{
    // A line break would end the profile line early and start a key of its own.
    if (choice == SaveChoice::Save
        && (common::hasLineBreak(credentials.userId) || common::hasLineBreak(credentials.password)))
        return false;
    common::ProfileFile file = credentialsFile();
    typedPair() = TypedPair{credentialsFilePath(), credentials};
    if (choice == SaveChoice::DoNotSave)
        return file.write(Section, QStringLiteral("NAME3"), QStringLiteral("0"));
    bool ok = file.write(Section, QStringLiteral("NAME"), credentials.userId);
    ok = file.write(Section, QStringLiteral("NAME2"), credentials.password) && ok;
    ok = file.write(Section, QStringLiteral("NAME3"), QStringLiteral("1")) && ok;
    // Saved, the file holds the pair; not saved, the typed pair still serves.
    if (ok)
        typedPair().reset();
    return ok;
}

QString credentialsWriteFailedText()
{
    return QStringLiteral("IDとパスワードを保存できませんでした。\r\n"
                          "データフォルダに書き込めるか確認してください。");
}

} // namespace settings
