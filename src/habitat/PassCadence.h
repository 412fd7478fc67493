#pragma once

#include <cstdint>

namespace habitat {

// The pace of the main loop: a pass may start only once more than 50
// milliseconds have passed on the millisecond counter since the previous pass
// started. The counter wraps around at 2^32; elapsed time is taken modulo
// 2^32, so a wait across the wrap still lasts its full length.
class PassCadence
{
public:
    static constexpr std::uint32_t WaitPerPass = 50;

    // Elapsed milliseconds from t0 to t on a counter that wraps at 2^32.
    [[nodiscard]] static constexpr std::uint32_t elapsed(std::uint32_t t0, std::uint32_t t) { return t - t0; }

    // Notes that a pass starts now (common::clock()).
    void passStarted();
    // Milliseconds still to wait before the next pass may start: 0 once more
    // than WaitPerPass have passed, and 0 before the first pass.
    [[nodiscard]] std::uint32_t remaining() const;
    [[nodiscard]] bool due() const { return remaining() == 0; }

private:
    std::uint32_t m_started = 0;
    bool m_any = false;
};

} // namespace habitat
