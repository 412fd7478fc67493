#pragma once

#include <QDateTime>
#include <cstdint>

namespace common {

// The millisecond counter and the wall clock; tests drive a manual one.
class Clock
{
public:
    virtual ~Clock() = default;
    // A 32-bit millisecond counter that wraps around at 2^32.
    [[nodiscard]] virtual std::uint32_t milliseconds() = 0;
    [[nodiscard]] virtual QDateTime now() = 0;
};

class SystemClock final : public Clock
{
public:
    std::uint32_t milliseconds() override;
    QDateTime now() override;
};

Clock &clock();
void setClock(Clock *clock);

} // namespace common
