#include "common/Clock.h"

#include <chrono>

namespace common {

std::uint32_t SystemClock::milliseconds()
{
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    return std::uint32_t(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

QDateTime SystemClock::now()
{
    return QDateTime::currentDateTime();
}

namespace {
Clock *g_clock = nullptr;
}

Clock &clock()
{
    if (!g_clock) {
        static SystemClock fallback;
        return fallback;
    }
    return *g_clock;
}

void setClock(Clock *c)
{
    g_clock = c;
}

} // namespace common
