#pragma once

#include <QString>

class QColor;
class QPushButton;

// Helpers that the viewer window's source files share; nothing outside the
// window includes this.
namespace viewer::tyakuform {

// A button that shows its own background colour, raised, and sunken while pressed.
void setButtonColour(QPushButton *button, const QColor &colour);

// Texts hold CR LF line ends; the text boxes show a line break for each.
[[nodiscard]] QString toDisplay(QString text);

} // namespace viewer::tyakuform
