#include "common/ui/FormKit.h"

#include <QEvent>
#include <QFocusEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>

#include <cmath>

namespace common {

int twipsToPixels(double twips, PixelRounding rounding)
{
    const double pixels = twips / TwipsPerPixel;
    return int(rounding == PixelRounding::Nearest ? std::round(pixels) : std::trunc(pixels));
}

double pixelsToTwips(int pixels)
{
    return double(pixels) * TwipsPerPixel;
}

QRect twipsRect(int left, int top, int width, int height, PixelRounding rounding)
{
    return {twipsToPixels(left, rounding), twipsToPixels(top, rounding), twipsToPixels(width, rounding),
            twipsToPixels(height, rounding)};
}

QString forDisplay(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

QPushButton *addButton(QWidget *parent, const QString &caption, const char *name, const QRect &place)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    if (!place.isNull())
        button->setGeometry(place);
    button->setAutoDefault(true);
    return button;
}

QLabel *addLabel(QWidget *parent, const QString &caption, const QRect &place, QWidget *buddy)
{
    auto *label = new QLabel(caption, parent);
    label->setGeometry(place);
    if (buddy)
        label->setBuddy(buddy);
    return label;
}

void setButtonColour(QPushButton *button, const QColor &colour, const QColor &text)
{
    button->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; color: %4; text-align: center;"
                                         " border: 2px outset %2; }"
                                         "QPushButton:pressed { border-style: inset; }"
                                         "QPushButton:focus { outline: none; border-color: %3; }")
                              .arg(colour.name(), colour.lighter(115).name(), colour.darker(140).name(), text.name()));
}

void HoverHelp::add(QWidget *control, const QString &text, QObject *filter)
{
    m_texts.insert(control, text);
    control->setMouseTracking(true);
    control->installEventFilter(filter);
}

bool HoverHelp::explain(const QObject *watched, const QEvent *event)
{
    const QEvent::Type type = event->type();
    bool asked = type == QEvent::MouseMove || type == QEvent::Enter;
    if (type == QEvent::FocusIn && m_options.testFlag(ExplainOnTab)) {
        const Qt::FocusReason reason = static_cast<const QFocusEvent *>(event)->reason();
        asked = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason;
    }
    const auto it = m_texts.constFind(watched);
    if (!asked || it == m_texts.cend() || !m_box)
        return false;
    m_box->setPlainText(forDisplay(it.value()));
    m_box->show();
    if (m_options.testFlag(RaiseBox))
        m_box->raise();
    return true;
}

} // namespace common
