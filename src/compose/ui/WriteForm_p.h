#pragma once

// Measures and texts the composer's source files share; not for other windows.

#include <QString>

namespace compose::writeform {

inline constexpr int FormHeight = 590; // pixels
inline constexpr int MailWidth = 440;  // the left part, pixels
inline constexpr int PaneLeft = 456;   // the address pane, pixels

inline const QString CrLf = QStringLiteral("\r\n");

} // namespace compose::writeform
