#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

namespace compose {

// While it lives, input reaches only one widget and the rest of the program
// waits: a bulk send lets events through between two mails, but only its
// stop button may take them.
class InputGate final : public QObject
{
public:
    explicit InputGate(QWidget *allowed);
    ~InputGate() override;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointer<QWidget> m_allowed;
};

} // namespace compose
