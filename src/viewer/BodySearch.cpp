#include "viewer/BodySearch.h"

#include <algorithm>

namespace viewer {

BodyMatch findFrom(const QString &text, const QString &needle, qsizetype start)
{
    start = std::max<qsizetype>(start, 1);
    if (start > text.size())
        return {};
    const qsizetype at = text.indexOf(needle, start - 1, Qt::CaseSensitive);
    if (at < 0)
        return {};
    return {at + 1, needle.size()};
}

BodyMatch BodySearch::find(const QString &text, const QString &needle)
{
    const BodyMatch match = findFrom(text, needle, 1);
    m_lastFoundPos = match.position;
    m_lastNeedle = needle;
    return match;
}

BodyMatch BodySearch::findNext(const QString &text, const QString &needle)
{
    // Just after the last match; after a miss, the character numbered by the
    // needle's length, and the first character when that number is 0.
    const qsizetype start = std::max<qsizetype>(needle.size() + m_lastFoundPos, 1);
    const BodyMatch match = findFrom(text, needle, start);
    m_lastFoundPos = match.position;
    m_lastNeedle = needle;
    return match;
}

BodyMatch BodySearch::findOnEnter(const QString &text, const QString &needle)
{
    if (m_lastFoundPos == 0 || needle != m_lastNeedle)
        return find(text, needle);
    return findNext(text, needle);
}

} // namespace viewer
