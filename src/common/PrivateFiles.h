#pragma once

#include <QFileDevice>
#include <QString>

#include <sys/types.h>

// Received mail, attachments, credentials and the settings are the user's
// alone: every file the program writes is readable and writable by its owner
// only, and every folder it creates is open to its owner only.
namespace common {

inline constexpr mode_t PrivateFileMode = 0600;
inline constexpr mode_t PrivateFolderMode = 0700;
inline constexpr QFileDevice::Permissions PrivateFilePermissions = QFileDevice::ReadOwner | QFileDevice::WriteOwner;

// Makes every file and folder the process creates from now on private
// (umask 077), for writers that do not set a mode of their own. For start-up.
void keepNewFilesPrivate();

// Creates path and any missing folders above it with PrivateFolderMode.
// True when the folder exists afterwards.
[[nodiscard]] bool makePrivateFolder(const QString &path);

} // namespace common
