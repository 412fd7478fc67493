#include "app/QtTranslations.h"
#include "app/ui/StartUp.h"
#include "common/ProgramFolder.h"
#include "common/ui/QtPrompts.h"
#include "common/PrivateFiles.h"

#include <QApplication>
#include <QDir>
#include <QIcon>

int main(int argc, char *argv[])
{
    common::keepNewFilesPrivate();
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

    const common::ProgramFolderChoice folder = common::resolveProgramFolder();
    common::ProgramFolder::set(folder.path);
    const QStringList arguments = QApplication::arguments().mid(1);

    const QStringList failed = common::prepareProgramFolder(folder);
    if (!failed.isEmpty()) {
        prompts.inform(QStringLiteral("プログラムフォルダを用意できませんでした。\n") + failed.join(QLatin1Char('\n')),
                       QString(), common::PromptIcon::Critical);
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
