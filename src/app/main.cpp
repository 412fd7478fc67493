#include "common/ui/QtPrompts.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    common::QtPrompts prompts;
    common::setPrompts(&prompts);
    QWidget window;
    window.setWindowTitle(QStringLiteral("グリムラランド Ver 1.0"));
    window.show();
    return app.exec();
}
