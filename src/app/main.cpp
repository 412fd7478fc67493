#include "app/MainLoop.h"
#include "app/ui/Fonts.h"
#include "app/ui/MainForm.h"
#include "common/ui/QtPrompts.h"
#include "habitat/Habitat.h"
#include "habitat/ui/SceneCanvas.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    common::QtPrompts prompts;
    common::setPrompts(&prompts);
    app::installFonts();

    habitat::Habitat habitat;
    app::MainForm mainForm(habitat);
    mainForm.setServices(app::MainFormServices::standard());
    mainForm.Form_Load();
    mainForm.show();

    app::MainLoop mainLoop(habitat);
    QObject::connect(&mainLoop, &app::MainLoop::frameReady, mainForm.sceneCanvas(), &habitat::SceneCanvas::showFrame);
    mainLoop.start();
    return application.exec();
}
