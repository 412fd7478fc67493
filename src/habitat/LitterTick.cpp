#include "habitat/LitterTick.h"

#include <algorithm>

namespace habitat {

void LitterTick::setInterval(int milliseconds)
{
    milliseconds = std::max(0, milliseconds);
    if (milliseconds == m_interval)
        return;
    m_interval = milliseconds;
    Q_EMIT intervalChanged(m_interval);
}

LitterTick &litterTick()
{
    static LitterTick tick;
    return tick;
}

} // namespace habitat
