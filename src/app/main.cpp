#include "app/QtTranslations.h"
#include "app/ui/StartUp.h"
#include "common/ui/QtPrompts.h"
#include "common/PrivateFiles.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    common::keepNewFilesPrivate();
    QApplication application(argc, argv);
    app::installQtJapaneseTranslation(application);
    common::QtPrompts prompts;
    common::setPrompts(&prompts);
    return app::StartUp(application, app::MainFormServices::standard());
}
