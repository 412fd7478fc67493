#pragma once

#include <QString>

namespace addressbook {

// A business-card address: the card name directly followed by the address,
// blanks around it removed, in angle brackets ("山田太郎<taro@example.jp>").
[[nodiscard]] QString businessCardAddress(const QString &card, const QString &address);

} // namespace addressbook
