#pragma once

#include <array>
#include <cstdint>

namespace habitat {

// One firefly of a group. X and Y are its top-left corner on the canvas.
struct Firefly
{
    std::int16_t X = 0;
    std::int16_t Y = 0;
    float State = 0.0f; // 0.0 = gone, waiting to be placed anew; 1.0 = flying
    std::int16_t StepX = 0;
    std::int16_t StepY = 0;

    bool operator==(const Firefly &) const = default;
};

// A fixed star of the sky. Placed once per run, when Active is still 0.
struct Star
{
    float X = 0.0f;
    float Y = 0.0f;
    std::uint8_t Active = 0;

    bool operator==(const Star &) const = default;
};

inline constexpr int FireflyGroupCount = 3;
inline constexpr int FireflyRecordCount = 51; // records per group
inline constexpr int FirefliesPerGroup = 5;   // records in use per group
inline constexpr int StarRecordCount = 1001;
inline constexpr int StarsInUse = 201;

// A group's fireflies and the sprite frame they all show.
struct FireflyGroup
{
    std::array<Firefly, FireflyRecordCount> fireflies{};
    std::int16_t GlowFrame = 0;

    bool operator==(const FireflyGroup &) const = default;
};

// Round(v): nearest integer, halves to the even neighbour.
[[nodiscard]] double Round(double v);
// Int(v): the largest integer not above v.
[[nodiscard]] double Int(double v);

} // namespace habitat
