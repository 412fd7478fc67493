// The program's start-up on a program folder given as the first argument,
// with the message boxes answered by the scripted prompts and the mail layer
// left out. Prints "running" once the main loop runs, "restored" whenever the
// main window comes back from being minimised, and after a start that ended
// early one line per message box: kind, title and text, separated by tabs.
// The line "close" on its input closes the main window, as the user would.
#include "app/QtTranslations.h"
#include "app/ui/StartUp.h"
#include "common/ProgramFolder.h"
#include "support/ScriptedPrompts.h"

#include <QApplication>
#include <QEvent>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>

#include <cstdio>
#include <unistd.h>

namespace {

void say(const QString &line)
{
    std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

// Reports the main window's way back from minimised.
class RestoreWatcher final : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::WindowStateChange) {
            auto *window = static_cast<QWidget *>(watched);
            if (!window->isMinimized())
                say(QStringLiteral("restored"));
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    if (argc < 2)
        return 2;
    common::ProgramFolder::set(QString::fromLocal8Bit(argv[1]));
    app::installQtJapaneseTranslation(application);
    testsupport::ScriptedPrompts prompts;

    RestoreWatcher watcher;
    QTimer::singleShot(0, &application, [&watcher] {
        for (QWidget *window : QApplication::topLevelWidgets()) {
            if (window->objectName() == QLatin1String("MainForm")) {
                window->showMinimized();
                window->installEventFilter(&watcher);
            }
        }
        say(QStringLiteral("running"));
    });

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &application, [&input] {
        char line[64] = {};
        const ssize_t got = ::read(STDIN_FILENO, line, sizeof line - 1);
        if (got <= 0) {
            input.setEnabled(false);
            return;
        }
        if (QByteArray(line).startsWith("close"))
            for (QWidget *window : QApplication::topLevelWidgets())
                if (window->objectName() == QLatin1String("MainForm"))
                    window->close();
    });

    app::MainFormServices services;
    services.endProcess = [] { std::exit(0); };
    const int code = app::StartUp(application, services);
    for (const testsupport::ScriptedPrompts::Shown &shown : prompts.shown)
        say(shown.kind + QLatin1Char('\t') + shown.title + QLatin1Char('\t') + shown.text);
    return code;
}
