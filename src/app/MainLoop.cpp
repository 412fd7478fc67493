#include "app/MainLoop.h"

#include "habitat/Habitat.h"

#include <QFile>
#include <QSaveFile>

namespace app {

MainLoop::MainLoop(habitat::Habitat &habitat, QObject *parent)
    : QObject(parent)
    , m_habitat(habitat)
    , m_statsPath(qEnvironmentVariable("GLIMRA_PASS_STATS"))
{
    // A precise timer never fires early, so the wait between passes is kept.
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &MainLoop::onTimeout);
    m_statsClock.start();
}

MainLoop::~MainLoop()
{
    writeStatistics();
}

void MainLoop::start()
{
    m_timer.start(0);
}

void MainLoop::stop()
{
    m_timer.stop();
}

std::uint32_t MainLoop::runIfDue()
{
    if (!m_cadence.due())
        return m_cadence.remaining();
    m_cadence.passStarted();
    m_habitat.runPass();
    ++m_passes;
    Q_EMIT frameReady(m_habitat.frame());
    if (!m_statsPath.isEmpty() && m_statsClock.elapsed() - m_statsWrittenAt >= 1000)
        writeStatistics();
    return m_cadence.remaining();
}

void MainLoop::onTimeout()
{
    const std::uint32_t wait = runIfDue();
    m_timer.start(int(wait));
}

void MainLoop::writeStatistics()
{
    if (m_statsPath.isEmpty())
        return;
    m_statsWrittenAt = m_statsClock.elapsed();
    QSaveFile file(m_statsPath);
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(QByteArray::number(m_passes) + ' ' + QByteArray::number(m_statsWrittenAt) + '\n');
    file.commit();
}

} // namespace app
