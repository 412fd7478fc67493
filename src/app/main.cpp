#include "app/MailboxCommand.h"
#include "app/QtTranslations.h"
#include "app/ui/StartUp.h"
#include "common/ui/QtPrompts.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    if (const std::optional<int> code = app::runMailboxCommand(argc, argv))
        return *code;
    QApplication application(argc, argv);
    app::installQtJapaneseTranslation(application);
    common::QtPrompts prompts;
    common::setPrompts(&prompts);
    return app::StartUp(application, app::MainFormServices::standard());
}
