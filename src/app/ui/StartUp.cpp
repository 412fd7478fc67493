#include "app/ui/StartUp.h"

#include "app/InstanceLock.h"
#include "app/MailtoLink.h"
#include "app/MainLoop.h"
#include "app/ui/Fonts.h"
#include "app/ui/WindowHub.h"
#include "compose/ui/WriteForm.h"
#include "common/ProgramFolder.h"
#include "common/Prompts.h"
#include "habitat/Habitat.h"
#include "habitat/ui/SceneCanvas.h"

#include <QApplication>

namespace app {

void openMailLink(MainForm &mainForm, const QString &text)
{
    const std::optional<MailtoLink> link = parseMailtoLink(text);
    if (!link)
        return;
    mainForm.bringToFront();
    mainForm.windows().showWriteForm()->fillFromLink(link->to.join(QStringLiteral(", ")), link->subject, link->body);
}

int StartUp(QApplication &application, MainFormServices services, const QString &mailLink)
{
    installFonts();
    const QString dataFolder = common::ProgramFolder::dataFolder();
    InstanceLock lock(dataFolder);
    if (lock.state() == InstanceLock::State::AlreadyRunning) {
        // The running program opens the link; the user needs no word from here.
        if (isMailtoLink(mailLink) && InstanceLock::sendLink(dataFolder, mailLink))
            return 0;
        InstanceLock::requestActivation(dataFolder);
        common::prompts().inform(QString::fromUtf16(AlreadyRunningText), QString::fromLatin1(common::ApplicationTitle),
                                 common::PromptIcon::Information);
        return 0;
    }
    // A folder that cannot hold the lock file (missing or read-only) starts
    // as before: nothing can be written there by a second program either.

    // The main window ends the process at once, past every destructor: the
    // socket's file goes first; the lock goes with the process.
    if (services.endProcess)
        services.endProcess = [&lock, end = std::move(services.endProcess)] {
            lock.stopListening();
            end();
        };

    habitat::Habitat habitat;
    MainForm mainForm(habitat);
    mainForm.setServices(std::move(services));
    QObject::connect(&lock, &InstanceLock::activationRequested, &mainForm, &MainForm::bringToFront);
    QObject::connect(&lock, &InstanceLock::linkReceived, &mainForm,
                     [&mainForm](const QString &link) { openMailLink(mainForm, link); });
    mainForm.Form_Load();
    mainForm.show();
    if (isMailtoLink(mailLink))
        openMailLink(mainForm, mailLink);

    MainLoop mainLoop(habitat);
    QObject::connect(&mainLoop, &MainLoop::frameReady, mainForm.sceneCanvas(), &habitat::SceneCanvas::showFrame);
    mainLoop.start();
    return application.exec();
}

} // namespace app
