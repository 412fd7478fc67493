#pragma once

#include <QColor>
#include <QFlags>
#include <QHash>
#include <QRect>
#include <QString>

class QEvent;
class QLabel;
class QObject;
class QPlainTextEdit;
class QPushButton;
class QWidget;

// The small pieces every window is built from: design measures in twips,
// buttons and labels at their places, coloured buttons, texts for display
// and the help box that explains the control under the pointer.
namespace common {

// Window designs give places in twips; 15 twips make one pixel.
inline constexpr int TwipsPerPixel = 15;

// How a measure that falls between two pixels lands on one.
enum class PixelRounding {
    Nearest,    // the nearer pixel, halves away from zero
    TowardZero, // the partial pixel cut off, as the address book and composer have always placed theirs
};

[[nodiscard]] int twipsToPixels(double twips, PixelRounding rounding = PixelRounding::Nearest);
[[nodiscard]] double pixelsToTwips(int pixels);
// A rectangle given in twips, in pixels.
[[nodiscard]] QRect twipsRect(int left, int top, int width, int height,
                              PixelRounding rounding = PixelRounding::Nearest);

// Texts hold CR LF line ends; a text box shows one line break for each, and
// for a lone CR.
[[nodiscard]] QString forDisplay(QString text);

// A push button named name, at place (pixels) when one is given. Enter
// presses it while it has the focus, as on every window of the program.
QPushButton *addButton(QWidget *parent, const QString &caption, const char *name, const QRect &place = {});
// A label at place (pixels); buddy, when given, is the control it names.
QLabel *addLabel(QWidget *parent, const QString &caption, const QRect &place, QWidget *buddy = nullptr);

// A button that shows its own background colour, raised, and sunken while
// pressed, with its caption in text.
void setButtonColour(QPushButton *button, const QColor &colour, const QColor &text = QColor(Qt::black));

// The help texts of a window's controls. The window passes the events its
// filter sees; moving the pointer over a control (and, with ExplainOnTab,
// reaching it with Tab) writes the control's text into the help box and
// shows the box.
class HoverHelp
{
public:
    enum Option {
        NoOption = 0x0,
        RaiseBox = 0x1,     // the shown box goes above the controls it covers
        ExplainOnTab = 0x2, // Tab and Shift+Tab explain a control as the pointer does
    };
    Q_DECLARE_FLAGS(Options, Option)

    explicit HoverHelp(Options options = NoOption) : m_options(options) {}

    // The box the texts are written into.
    void setBox(QPlainTextEdit *box) { m_box = box; }

    // control explains itself with text; filter is the window's event filter,
    // installed on control, which hands its events to explain().
    void add(QWidget *control, const QString &text, QObject *filter);
    [[nodiscard]] bool explains(const QObject *control) const { return m_texts.contains(control); }
    // Shows watched's text when event calls for it; true when it did.
    bool explain(const QObject *watched, const QEvent *event);

private:
    QPlainTextEdit *m_box = nullptr;
    Options m_options;
    QHash<const QObject *, QString> m_texts;
};

} // namespace common

Q_DECLARE_OPERATORS_FOR_FLAGS(common::HoverHelp::Options)
