#pragma once

#include <QImage>

#include <array>

class QPainter;

namespace habitat {

// The three sprite sheets, one per firefly group: 64 x 64 pixels holding two
// 32 x 32 frames side by side; the firefly on white in the top half, its
// silhouette (white on black) in the bottom half. "fi" shows its glow in
// frame 1, "tetora" and "mozaiku" in frame 0.
struct SpriteSheets
{
    std::array<QImage, 3> sheets; // fi, tetora, mozaiku

    // The sheets compiled into the program.
    [[nodiscard]] static SpriteSheets builtIn();
    // The sheet of group 1, 2 or 3.
    [[nodiscard]] const QImage &forGroup(int group) const { return sheets.at(std::size_t(group - 1)); }
};

inline constexpr int SpriteSize = 32;

// Draws frame 0 or 1 of a sheet onto the canvas with its top-left corner at
// (x, y): the silhouette combined by bitwise OR, then the firefly on white by
// bitwise AND. Outside the silhouette the canvas stays as it was. Parts that
// fall outside the canvas are clipped.
void composeSprite(QImage &canvas, const QImage &sheet, int frame, int x, int y);
// The same for a painter already open on the canvas.
void composeSprite(QPainter &painter, const QImage &sheet, int frame, int x, int y);

} // namespace habitat
