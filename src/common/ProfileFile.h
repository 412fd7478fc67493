#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>

namespace common {

// Whether a ProfileFile's permissions apply to a file it creates only, or are
// set again on every write (for a file that must stay private whatever an
// earlier program or the user made of it).
enum PermissionsPolicy { PermissionsOnCreate, PermissionsOnEveryWrite };

// An INI-style file in CP932 read and written with the semantics of the Windows
// profile functions: sections and keys matched without regard to case, blanks
// around keys and values ignored, a value in matching quotes taken without
// them, and a write that keeps every other line as it was. Each call opens the
// file anew, so hand edits are seen at once.
class ProfileFile
{
public:
    explicit ProfileFile(QString path);

    // The value of key in section, or defaultText when the file, the section or
    // the key is missing; cut to bufferSize - 1 bytes of CP932.
    [[nodiscard]] QString readText(const QString &section, const QString &key, const QString &defaultText,
                                   int bufferSize = 256) const;
    // The value's leading decimal digits as an integer (0 when it has none), or
    // defaultValue when the file, the section or the key is missing.
    [[nodiscard]] int readInt(const QString &section, const QString &key, int defaultValue) const;
    // Sets key in section, creating the file and the section when missing.
    // Replaces the file in one rename, so a failed write leaves it whole.
    bool write(const QString &section, const QString &key, const QString &value);

    // Permissions of a file this object creates; an existing file keeps its own
    // unless policy is PermissionsOnEveryWrite.
    void setCreatePermissions(QFileDevice::Permissions permissions, PermissionsPolicy policy = PermissionsOnCreate)
    {
        m_createPermissions = permissions;
        m_policy = policy;
    }
    [[nodiscard]] const QString &path() const { return m_path; }

private:
    [[nodiscard]] bool lookup(const QString &section, const QString &key, QString *value) const;

    QString m_path;
    QFileDevice::Permissions m_createPermissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    PermissionsPolicy m_policy = PermissionsOnCreate;
};

// The profile: section "EXEINI" of "ini.ini" in the data folder.
[[nodiscard]] QString ProfileReadText(const QString &key, const QString &defaultText);
[[nodiscard]] int ProfileReadInt(const QString &key, int defaultValue);
bool ProfileWrite(const QString &key, const QString &value);

inline constexpr char ProfileFileName[] = "ini.ini";
inline constexpr char ProfileSection[] = "EXEINI";

} // namespace common
