#pragma once

#include <QString>
#include <QStringList>

namespace common {
class RandomSource;
}

namespace compose {

// The eight stock opening phrases of the composer's "首記例" box, in order.
[[nodiscard]] const QStringList &greetingPhrases();

// The line that stands before an appended fortune.
[[nodiscard]] QString fortuneHeader();
// Fortune k, from 1 to 12.
[[nodiscard]] QString fortuneText(int k);
inline constexpr int FortuneCount = 12;

// Reseeds the source from the clock and draws a fortune number from 1 to 12,
// each equally likely: floor(12 * r) + 1 for r in [0, 1).
[[nodiscard]] int drawFortuneNumber(common::RandomSource &random);

// body, CR LF, CR LF, the header, CR LF, CR LF, fortune k.
[[nodiscard]] QString appendFortune(const QString &body, int k);

} // namespace compose
