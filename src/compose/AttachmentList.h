#pragma once

#include <QString>

namespace compose {

// The attachment list of a mail: full paths joined by "," with no blank
// around the commas and no comma at the end; an empty text means none.
// Returns list with path added at its end.
[[nodiscard]] QString appendAttachmentPath(const QString &list, const QString &path);

// The title of a path as the attachment list shows it: the file name
// without its folder, extension kept.
[[nodiscard]] QString attachmentTitle(const QString &path);

} // namespace compose
