#pragma once

#include <QString>

namespace viewer {

// The four parts of a shown mail as one text, lines joined by CR LF and no
// line end after the body:
// "Subject:  <subject>", "From:  <sender>", "Date:  <date>", "Body:  <body>".
// The viewer's save-as puts it into the body pane before saving; the quick
// save writes the same parts.
[[nodiscard]] QString ComposeHeaderText(const QString &subject, const QString &sender, const QString &date,
                                        const QString &body);

} // namespace viewer
