#pragma once

#include <QString>

namespace viewer {

// A match of the body search: 1-based character position and length, or
// position 0 when nothing was found.
struct BodyMatch
{
    qsizetype position = 0;
    qsizetype length = 0;
    [[nodiscard]] bool found() const { return position > 0; }
};

// The first occurrence of needle in text at or after the 1-based character
// start; exact and case-sensitive. A start before 1 counts as 1, a start past
// the end finds nothing. An empty needle matches at start inside a non-empty text.
[[nodiscard]] BodyMatch findFrom(const QString &text, const QString &needle, qsizetype start);

// The search of the viewer's body box. The position of the last match is kept
// between searches and is not limited to 16 bits, so that texts opened from a
// file longer than 32767 characters can be searched to their end.
class BodySearch
{
public:
    // Searches from the first character; remembers the position, or 0.
    BodyMatch find(const QString &text, const QString &needle);
    // Searches on from just after the last match (or from the character whose
    // number is the needle's length after a miss); no wrapping at the end.
    // An empty needle after a miss starts at the first character.
    BodyMatch findNext(const QString &text, const QString &needle);
    // Enter in the search box: from the first character when the word is not
    // the one searched last or the last search found nothing, else on from
    // the last match, so that a match at the head of the text is never skipped.
    BodyMatch findOnEnter(const QString &text, const QString &needle);

    [[nodiscard]] qsizetype lastFoundPos() const { return m_lastFoundPos; }
    void reset()
    {
        m_lastFoundPos = 0;
        m_lastNeedle.clear();
    }

private:
    qsizetype m_lastFoundPos = 0; // LastFoundPos
    QString m_lastNeedle;
};

} // namespace viewer
