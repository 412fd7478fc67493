#pragma once

#include "habitat/FireflyScene.h"
#include "habitat/SceneSources.h"
#include "habitat/SpriteSheets.h"

#include <QImage>

namespace habitat {

// The habitat as the main loop sees it: the scene with its background,
// sprite sheets and the frame one pass composes.
class Habitat
{
public:
    explicit Habitat(SpriteSheets sheets = SpriteSheets::builtIn());

    // One pass: the background, HabitatHalted from the profile, the three
    // groups moved and drawn unless halted, then the stars. The result is
    // frame(), to be shown in one refresh.
    void runPass();

    [[nodiscard]] const QImage &frame() const { return m_frame; }
    [[nodiscard]] FireflyScene &scene() { return m_scene; }
    [[nodiscard]] const FireflyScene &scene() const { return m_scene; }
    [[nodiscard]] const SpriteSheets &sheets() const { return m_sheets; }
    [[nodiscard]] const BackgroundPicture &background() const { return m_background; }
    [[nodiscard]] const HaltedSetting &haltedSetting() const { return m_halted; }
    [[nodiscard]] long long passes() const { return m_passes; }

private:
    FireflyScene m_scene;
    SpriteSheets m_sheets;
    BackgroundPicture m_background;
    HaltedSetting m_halted;
    QImage m_frame;
    long long m_passes = 0;
};

} // namespace habitat
