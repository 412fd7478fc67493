#pragma once

// What the screenshot tools share: prompts that answer without a box, saving
// a window's picture, and the mouse moves and activation a user makes.

#include "common/Prompts.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QMouseEvent>
#include <QQueue>
#include <QWidget>

namespace screens {

// Boxes are not shown; questions get answer, file choices come from files in
// order, and the clipboard is kept here.
class ToolPrompts final : public common::UserPrompts
{
public:
    QQueue<QString> files;
    QString clipboard;
    bool answer = true;
    void inform(const QString &, const QString &, common::PromptIcon) override {}
    bool askYesNo(const QString &, const QString &, common::PromptIcon) override { return answer; }
    QString chooseOpenFile(const QString &, const QString &) override { return files.isEmpty() ? QString() : files.dequeue(); }
    QString chooseSaveFile(const QString &, const QString &) override { return {}; }
    void setClipboardText(const QString &text) override { clipboard = text; }
    QString clipboardText() override { return clipboard; }
    bool print(const QTextDocument &) override { return false; }
    void openUrl(const QString &) override {}
};

// Saves window's picture as folder/name once its pending paints are done.
inline void save(QWidget *window, const QString &folder, const char *name)
{
    for (int i = 0; i < 5; ++i)
        QApplication::processEvents();
    window->grab().save(folder + QLatin1Char('/') + QLatin1String(name));
}

// The mouse moved onto w at at (its own coordinates), as for hover help.
inline void hover(QWidget *w, QPointF at = QPointF(4, 4))
{
    QMouseEvent move(QEvent::MouseMove, at, w->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &move);
}

// Shows a window as a user meets it: on the screen and active, so that the
// focus is drawn where the first key would go.
inline void showActive(QWidget *window)
{
    window->show();
    window->activateWindow();
    const QDeadlineTimer deadline(3000);
    while (!window->isActiveWindow() && !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 50);
}

} // namespace screens
