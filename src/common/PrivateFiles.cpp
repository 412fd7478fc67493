#include "common/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <sys/stat.h>

namespace common {

void keepNewFilesPrivate()
{
    ::umask(077);
}

bool makePrivateFolder(const QString &path)
{
    const QFileInfo info(path);
    if (info.isDir())
        return true;
    const QString parent = info.absolutePath();
    if (parent != info.absoluteFilePath() && !QFileInfo(parent).isDir() && !makePrivateFolder(parent))
        return false;
    return ::mkdir(QFile::encodeName(info.absoluteFilePath()).constData(), PrivateFolderMode) == 0
        || (errno == EEXIST && QFileInfo(info.absoluteFilePath()).isDir());
}

} // namespace common
