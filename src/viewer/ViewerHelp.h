#pragma once

#include <QString>

namespace viewer {

// The controls of the viewer that explain themselves in its help box.
enum class ViewerHelp { Command1, Command2, Command3, Command4, Command5, Command6, Text1 };

// The help text of a control, line breaks as CR LF.
[[nodiscard]] QString viewerHelpText(ViewerHelp topic);

} // namespace viewer
