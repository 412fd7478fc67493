#include "habitat/FireflyScene.h"

#include "common/Random.h"
#include "habitat/SpriteSheets.h"

#include <QImage>
#include <QPainter>

#include <cmath>

namespace habitat {

double Round(double v)
{
    // The default floating-point rounding mode rounds halves to even.
    return std::nearbyint(v);
}

double Int(double v)
{
    return std::floor(v);
}

namespace {

double Rnd()
{
    return common::random().next();
}

std::int16_t toInt16(double v)
{
    return std::int16_t(v);
}

// The area a group's fireflies may fly in; outside it they are retired.
struct Area
{
    int right;  // gone when X > right
    int left;   // gone when X < left
    int top;    // gone when Y < top
    int bottom; // gone when Y > bottom
};

constexpr Area areas[FireflyGroupCount] = {
    {600, -40, -40, 350},
    {480, -40, -40, 550},
    {600, 0, 300, 400},
};

void setSteps(int group, Firefly &f)
{
    switch (group) {
    case 1:
        // Drifts left and upwards.
        if (Rnd() < 0.5) {
            f.StepY = toInt16(Round(-2 * Rnd()));
            f.StepX = toInt16(-Int(Rnd() + 1));
        } else {
            f.StepY = toInt16(Round(-Rnd()));
            f.StepX = toInt16(-Int(2 * Rnd() + 1));
        }
        break;
    case 2:
        // Drifts right and upwards.
        if (Rnd() < 0.5) {
            f.StepY = toInt16(Round(-Rnd()));
            f.StepX = toInt16(Round(Int(2 * Rnd() + 1) + 0.2));
        } else {
            f.StepY = toInt16(Round(-2 * Rnd()));
            f.StepX = toInt16(Round(Int(Rnd() + 1) + 0.2));
        }
        break;
    default:
        // Drifts right along the ground, or stands still; StepY is never set.
        f.StepX = toInt16(Round(Rnd() * 5));
        break;
    }
}

} // namespace

void FireflyScene::UpdateFireflyGroup(int g)
{
    FireflyGroup &grp = group(g);
    common::random().reseed();

    for (int i = 0; i < FirefliesPerGroup; ++i) {
        Firefly &f = grp.fireflies[std::size_t(i)];
        if (f.State == 0.0f) {
            f.State = 1.0f;
            f.X = toInt16(Round(Rnd() * 480));
            f.Y = toInt16(Round(Rnd() * 600));
            setSteps(g, f);
        }
    }

    const Area &area = areas[g - 1];
    for (int i = 0; i < FirefliesPerGroup; ++i) {
        Firefly &f = grp.fireflies[std::size_t(i)];
        if (f.State != 1.0f)
            continue;
        f.X = std::int16_t(f.X + f.StepX);
        f.Y = std::int16_t(f.Y + f.StepY);
        if (f.X > area.right || f.X < area.left || f.Y < area.top || f.Y > area.bottom)
            f.State = 0.0f;
    }
}

void FireflyScene::DrawFireflyGroup(int g, QPainter &canvas, const SpriteSheets &sheets) const
{
    const FireflyGroup &grp = group(g);
    const QImage &sheet = sheets.forGroup(g);
    for (int i = 0; i < FirefliesPerGroup; ++i) {
        const Firefly &f = grp.fireflies[std::size_t(i)];
        composeSprite(canvas, sheet, grp.GlowFrame, f.X, f.Y);
    }
}

void FireflyScene::DrawStars(QImage &canvas)
{
    for (int i = 0; i < StarsInUse; ++i) {
        Star &s = m_stars[std::size_t(i)];
        if (s.Active == 0) {
            s.Active = 1;
            s.Y = float(Rnd() * 150);
            s.X = float(Rnd() * 480);
        }
    }
    const QRgb white = qRgb(255, 255, 255);
    for (int i = 0; i < StarsInUse; ++i) {
        const Star &s = m_stars[std::size_t(i)];
        const int x = int(Int(s.X));
        const int y = int(Int(s.Y));
        if (canvas.valid(x, y))
            canvas.setPixel(x, y, white);
    }
}

void FireflyScene::toggleGlowFrame(int g)
{
    std::int16_t &frame = group(g).GlowFrame;
    frame = frame == 0 ? 1 : 0;
}

} // namespace habitat
