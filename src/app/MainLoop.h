#pragma once

#include "habitat/PassCadence.h"

#include <QElapsedTimer>
#include <QImage>
#include <QObject>
#include <QTimer>

#include <cstdint>

namespace habitat {
class Habitat;
}

namespace app {

// The main loop: one pass of the habitat at a time, started by a timer of the
// event loop so that the process sleeps between passes. A pass starts only
// once more than 50 ms have passed since the previous one started, which
// gives about 19 passes a second. Everything else the program does runs as
// events between passes.
class MainLoop : public QObject
{
    Q_OBJECT
public:
    explicit MainLoop(habitat::Habitat &habitat, QObject *parent = nullptr);
    ~MainLoop() override;

    // Starts the passes, the first at once.
    void start();
    void stop();

    // Runs a pass when one is due and returns the milliseconds until the
    // next one may start. The timer calls it; tests call it with a manual clock.
    std::uint32_t runIfDue();

    [[nodiscard]] long long passes() const { return m_passes; }

Q_SIGNALS:
    // The frame a pass composed, to be shown on the scene canvas in one refresh.
    void frameReady(const QImage &frame);

private:
    void onTimeout();
    void writeStatistics();

    habitat::Habitat &m_habitat;
    habitat::PassCadence m_cadence;
    QTimer m_timer;
    long long m_passes = 0;

    // With GLIMRA_PASS_STATS naming a file, the pass count is written there
    // about once a second, for the benchmark.
    QString m_statsPath;
    QElapsedTimer m_statsClock;
    qint64 m_statsWrittenAt = -1;
};

} // namespace app
