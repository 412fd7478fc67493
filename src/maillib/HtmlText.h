#pragma once

#include <QString>

namespace maillib {

// Turns an HTML body into readable plain text: tags dropped, script, style and
// head content dropped, character references decoded, block elements and <br>
// starting new lines, runs of blanks collapsed outside <pre>. Lines end in CR LF.
[[nodiscard]] QString htmlToText(const QString &html);

} // namespace maillib
