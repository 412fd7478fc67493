#pragma once

#include <QString>

namespace app {

// The controls of the main window that explain themselves in the help box
// when the pointer moves over them.
enum class HelpTopic { Toolbar, Check1, Check2, Command1, Text3, Text4, Text6 };

// The explanation the help box Text1 shows for topic.
[[nodiscard]] QString helpText(HelpTopic topic);

// A credit label of the main window: the page it opens and the sentence the
// credit box Text7 shows while the pointer is over it.
struct CreditPage
{
    QString url;
    QString hoverText;
};

// "Produce by ..." (Label2) and "Design by ..." (Label6).
[[nodiscard]] CreditPage authorPage();
[[nodiscard]] CreditPage designerPage();
inline constexpr char CreditName[] = "GlimraMail project";

} // namespace app
