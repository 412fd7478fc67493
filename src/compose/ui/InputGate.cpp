#include "compose/ui/InputGate.h"

#include <QApplication>
#include <QEvent>

namespace compose {

InputGate::InputGate(QWidget *allowed) : m_allowed(allowed)
{
    qApp->installEventFilter(this);
}

InputGate::~InputGate()
{
    qApp->removeEventFilter(this);
}

bool InputGate::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Wheel:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
        return watched->isWidgetType() && watched != m_allowed;
    default:
        return false;
    }
}

} // namespace compose
