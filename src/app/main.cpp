#include "app/MailboxCommand.h"
#include "app/QtTranslations.h"
#include "app/ui/StartUp.h"
#include "common/ProgramFolder.h"
#include "common/ui/QtPrompts.h"
#include "common/PrivateFiles.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QIcon>

#include <cstdio>

namespace {

// Finds the program folder as the program uses it and lays it out; the paths
// that could not be created (empty when all is in place).
QStringList useProgramFolder(common::ProgramFolderChoice *folder)
{
    *folder = common::resolveProgramFolder();
    common::ProgramFolder::set(folder->path);
    return common::prepareProgramFolder(*folder);
}

QString folderFailure(const QStringList &failed)
{
    return QStringLiteral("プログラムフォルダを用意できませんでした。\n") + failed.join(QLatin1Char('\n'));
}

} // namespace

int main(int argc, char *argv[])
{
    common::keepNewFilesPrivate();
    if (app::asksForMailboxCommand(argc, argv)) {
        // Run without a window, so without a display. The current folder is
        // left as it is: FILE and PATH name files where the user is.
        QCoreApplication application(argc, argv);
        common::ProgramFolderChoice folder;
        if (const QStringList failed = useProgramFolder(&folder); !failed.isEmpty()) {
            std::fputs((folderFailure(failed) + QLatin1Char('\n')).toUtf8().constData(), stderr);
            return 1;
        }
        return app::runMailboxCommand();
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("GlimraMail"));
    QApplication::setDesktopFileName(QStringLiteral("jp.glimra.GlimraMail"));
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        icon.addFile(QStringLiteral(":/icons/hicolor/%1x%1/apps/glimramail.png").arg(size));
    QApplication::setWindowIcon(icon);
    app::installQtJapaneseTranslation(application);
    common::QtPrompts prompts;
    common::setPrompts(&prompts);

    common::ProgramFolderChoice folder;
    const QStringList arguments = QApplication::arguments().mid(1);
    if (const QStringList failed = useProgramFolder(&folder); !failed.isEmpty()) {
        prompts.inform(folderFailure(failed), QString(), common::PromptIcon::Critical);
        return 1;
    }

    // The account file lives in the current folder: started from an install
    // (a launcher starts programs in the home folder), that is the program
    // folder. Done last, so that file names given on the command line and
    // handled before it still name files in the user's current folder.
    if (folder.installed)
        QDir::setCurrent(folder.path);
    return app::StartUp(application, app::MainFormServices::standard(), arguments.value(0));
}
