#pragma once

#include <QString>
#include <QStringList>

namespace compose {

// The attachment list of a mail as its text box shows it: full paths joined
// by "," with no blank around the commas and no comma at the end; an empty
// text means none. A path that holds a comma, or begins with a double quote,
// stands in double quotes with each of its own quotes doubled, so that any
// file name survives the list; a list typed without quotes reads as before.
//
// Returns list with path added at its end.
[[nodiscard]] QString appendAttachmentPath(const QString &list, const QString &path);

// The text of a list of paths, and the paths of a text. Empty pieces are
// skipped; blanks inside a piece belong to its path.
[[nodiscard]] QString formatAttachmentList(const QStringList &paths);
[[nodiscard]] QStringList parseAttachmentList(const QString &list);

// The title of a path as the attachment list shows it: the file name
// without its folder, extension kept.
[[nodiscard]] QString attachmentTitle(const QString &path);

} // namespace compose
