#pragma once

#include <QObject>

namespace habitat {

// The interval of the litter tick. The window hub pauses it while the settings
// hub, the viewer, the composer or the address book window is loaded, and the
// mail check while it runs; each restarts it when it ends. Nothing counts the
// pauses, so whoever ends first restarts the tick. The main window's timer
// follows this value.
class LitterTick final : public QObject
{
    Q_OBJECT
public:
    static constexpr int RunningInterval = 1000;

    [[nodiscard]] int interval() const { return m_interval; }
    [[nodiscard]] bool isRunning() const { return m_interval > 0; }
    // 0 stops the tick; a positive value runs it every that many milliseconds.
    void setInterval(int milliseconds);
    void pause() { setInterval(0); }
    void resume() { setInterval(RunningInterval); }

Q_SIGNALS:
    void intervalChanged(int milliseconds);

private:
    int m_interval = RunningInterval;
};

// The process's litter tick.
LitterTick &litterTick();

} // namespace habitat
