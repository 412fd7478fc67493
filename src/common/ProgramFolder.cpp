#include "common/ProgramFolder.h"

#include "common/CaseInsensitivePath.h"

#include <QCoreApplication>

namespace common {
namespace {
QString &explicitFolder()
{
    static QString folder;
    return folder;
}
} // namespace

QString ProgramFolder::path()
{
    if (!explicitFolder().isEmpty())
        return explicitFolder();
    return QCoreApplication::applicationDirPath();
}

void ProgramFolder::set(const QString &path)
{
    explicitFolder() = path;
}

QString ProgramFolder::file(const QString &literal)
{
    return resolveCaseInsensitive(path(), literal);
}

QString ProgramFolder::dataFile(const QString &name)
{
    return file(QString::fromUtf16(DataFolderName) + QLatin1Char('/') + name);
}

QString ProgramFolder::dataFolder()
{
    return file(QString::fromUtf16(DataFolderName));
}

} // namespace common
