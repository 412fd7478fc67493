#include "common/ProgramFolder.h"

#include "common/CaseInsensitivePath.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

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

ProgramFolderChoice resolveProgramFolder(const QString &programFileDir, const QProcessEnvironment &environment)
{
    const QDir programDir(programFileDir);
    if (QFileInfo(resolveCaseInsensitive(programDir.absolutePath(), QString::fromUtf16(DataFolderName))).isDir())
        return {programDir.absolutePath(), false, QString()};

    const QString installDataDir = QDir::cleanPath(programDir.absoluteFilePath(QStringLiteral("../share/glimramail")));
    if (!QFileInfo(installDataDir).isDir())
        return {programDir.absolutePath(), false, QString()};

    QString folder = environment.value(QStringLiteral("GLIMRA_PROGRAM_DIR"));
    if (folder.isEmpty()) {
        QString dataHome = environment.value(QStringLiteral("XDG_DATA_HOME"));
        // XDG data home: a relative path is not a valid one and is ignored.
        if (dataHome.isEmpty() || QDir::isRelativePath(dataHome)) {
            QString home = environment.value(QStringLiteral("HOME"));
            if (home.isEmpty())
                home = QDir::homePath();
            dataHome = home + QStringLiteral("/.local/share");
        }
        folder = dataHome + QStringLiteral("/GlimraMail");
    }
    return {QDir::cleanPath(QDir(folder).absolutePath()), true, installDataDir};
}

ProgramFolderChoice resolveProgramFolder()
{
    return resolveProgramFolder(QCoreApplication::applicationDirPath(), QProcessEnvironment::systemEnvironment());
}

QStringList prepareProgramFolder(const ProgramFolderChoice &choice)
{
    QStringList failed;
    if (!choice.installed)
        return failed;
    const QDir root(choice.path);
    const QString dataFolder = resolveCaseInsensitive(choice.path, QString::fromUtf16(DataFolderName));
    const QString pictureFolder = resolveCaseInsensitive(dataFolder, QString::fromUtf16(PictureFolderName));
    for (const QString &folder : {pictureFolder, root.filePath(QString::fromUtf16(AttachmentFolderName)),
                                  root.filePath(QString::fromUtf16(QuickSaveFolderName))}) {
        if (!QDir().mkpath(folder))
            failed << folder;
    }
    for (const QString &name : pictureFileNames()) {
        const QString target = resolveCaseInsensitive(pictureFolder, name);
        if (QFileInfo::exists(target))
            continue;
        const QString source = choice.installDataDir + QStringLiteral("/Adata/") + name;
        if (!QFile::copy(source, target))
            failed << target;
        else
            // A copy of a read-only installed file stays writable for the user.
            QFile::setPermissions(target, QFile::permissions(target) | QFileDevice::WriteOwner);
    }
    return failed;
}

} // namespace common
