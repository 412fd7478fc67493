#pragma once

#include <QString>

namespace common {

// Resolves relative (components separated by "/" or "\") under base, matching
// each component that does not exist as written against the names in its
// folder without regard to letter case. Components with no match keep the
// spelling given, so a file that does not exist yet is created as written.
// When several names match, the exact spelling wins, then the first in
// name order.
[[nodiscard]] QString resolveCaseInsensitive(const QString &base, const QString &relative);

} // namespace common
