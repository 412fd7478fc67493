#pragma once

// Small helpers for tests that drive windows by their controls' object names.

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

namespace testsupport {

// The control of that object name; a missing one ends the test program.
template <typename T = QWidget>
T *control(QObject *window, const QString &name)
{
    auto *c = window->findChild<T *>(name);
    if (!c)
        qFatal("no control %s", qPrintable(name));
    return c;
}

// The pointer moving over a control.
inline void hover(QWidget *w)
{
    const QPointF at(2, 2);
    QMouseEvent move(QEvent::MouseMove, at, w->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &move);
}

// Lets deleteLater() of closed windows happen.
inline void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace testsupport
