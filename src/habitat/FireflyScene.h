#pragma once

#include "habitat/Firefly.h"

#include <array>

class QImage;
class QPainter;

namespace habitat {

struct SpriteSheets;

// The fireflies and stars of the night scene: a plain value, advanced one pass
// at a time and drawn onto a canvas of 551 x 420 pixels. Random numbers come
// from common::random(), so tests can script them.
class FireflyScene
{
public:
    // Places gone fireflies of group 1, 2 or 3 anew, moves flying ones and
    // retires those that left the group's area.
    void UpdateFireflyGroup(int group);
    // Draws the group's five fireflies, whatever their state, in the group's
    // current frame.
    void DrawFireflyGroup(int group, QPainter &canvas, const SpriteSheets &sheets) const;
    // Places the stars on first use, then plots them as white pixels.
    void DrawStars(QImage &canvas);

    // Switches the frame the group shows between 0 and 1 (the blink).
    void toggleGlowFrame(int group);

    [[nodiscard]] const FireflyGroup &group(int group) const { return m_groups.at(std::size_t(group - 1)); }
    [[nodiscard]] FireflyGroup &group(int group) { return m_groups.at(std::size_t(group - 1)); }
    [[nodiscard]] const std::array<Star, StarRecordCount> &stars() const { return m_stars; }

    bool operator==(const FireflyScene &) const = default;

private:
    std::array<FireflyGroup, FireflyGroupCount> m_groups{};
    std::array<Star, StarRecordCount> m_stars{};
};

inline constexpr int CanvasWidth = 551;
inline constexpr int CanvasHeight = 420;

} // namespace habitat
