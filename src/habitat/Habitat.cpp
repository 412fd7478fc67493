#include "habitat/Habitat.h"

#include "habitat/HabitatHalted.h"

#include <QPainter>

namespace habitat {

Habitat::Habitat(SpriteSheets sheets)
    : m_sheets(std::move(sheets))
{
}

void Habitat::runPass()
{
    // Assigning the cached background and painting on it detaches the copy,
    // so the cache stays clean for the next pass.
    m_frame = m_background.current();
    HabitatHalted = m_halted.current();
    if (HabitatHalted == 0) {
        QPainter painter(&m_frame);
        for (int g = 1; g <= FireflyGroupCount; ++g) {
            m_scene.UpdateFireflyGroup(g);
            m_scene.DrawFireflyGroup(g, painter, m_sheets);
        }
    }
    m_scene.DrawStars(m_frame);
    ++m_passes;
}

} // namespace habitat
