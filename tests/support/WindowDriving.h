#pragma once

// Small helpers for tests that drive windows by their controls' object names.

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
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

template <typename T = QWidget>
T *control(QObject *window, const char *name)
{
    return control<T>(window, QString::fromLatin1(name));
}

// The pointer moving over a control, at a point of its own.
inline void hover(QWidget *w, QPointF at = QPointF(2, 2))
{
    QMouseEvent move(QEvent::MouseMove, at, w->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &move);
}

// Lets deleteLater() of closed windows happen.
inline void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Deletes every window a test left open (children of a window go with it).
inline void closeAllWindows()
{
    QList<QPointer<QWidget>> windows;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (!w->parentWidget())
            windows.append(w);
    for (const QPointer<QWidget> &w : windows)
        delete w.data();
    flushDeletes();
}

// The controls of window a user operates that a screen reader cannot name,
// as "window.control(class)".
inline QStringList unnamedControls(QWidget *window)
{
    QStringList unnamed;
    for (QWidget *w : window->findChildren<QWidget *>()) {
        const bool operable = qobject_cast<QAbstractButton *>(w) || qobject_cast<QLineEdit *>(w)
            || qobject_cast<QAbstractItemView *>(w) || qobject_cast<QComboBox *>(w)
            || qobject_cast<QAbstractScrollArea *>(w);
        if (!operable || !w->isVisibleTo(window) || w->parentWidget() == nullptr
            || qobject_cast<QComboBox *>(w->parentWidget()))
            continue;
        QAccessibleInterface *a = QAccessible::queryAccessibleInterface(w);
        if (!a || a->text(QAccessible::Name).trimmed().isEmpty())
            unnamed << window->objectName() + u'.' + w->objectName() + u'('
                    + QString::fromLatin1(w->metaObject()->className()) + u')';
    }
    return unnamed;
}

} // namespace testsupport
