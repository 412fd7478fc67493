#include "app/ui/MainForm.h"

#include "habitat/Habitat.h"
#include "habitat/ui/SceneCanvas.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

namespace app {

MainForm::MainForm(habitat::Habitat &habitat, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
    , m_habitat(habitat)
{
    setObjectName(QStringLiteral("MainForm"));
    setWindowTitle(QStringLiteral("グリムラランド Ver 1.0"));
    setFixedSize(ClientWidth, ClientHeight);

    // The scene is created first so that every control created after it lies
    // above it.
    createScene();
    createBlinkTimers();
}

void MainForm::createScene()
{
    // The canvas is larger than the window and placed 24 pixels up: its top
    // rows and right columns are never seen.
    m_sceneCanvas = new habitat::SceneCanvas(this);
    m_sceneCanvas->setObjectName(QStringLiteral("picMain"));
    m_sceneCanvas->move(0, -24);
}

void MainForm::createBlinkTimers()
{
    m_group1Blink = new QTimer(this);
    m_group1Blink->setObjectName(QStringLiteral("Timer1"));
    m_group1Blink->setInterval(2000);
    connect(m_group1Blink, &QTimer::timeout, this, &MainForm::Timer1_Timer);
    m_group1Blink->start();

    m_group2Blink = new QTimer(this);
    m_group2Blink->setObjectName(QStringLiteral("Timer2"));
    m_group2Blink->setInterval(3000);
    connect(m_group2Blink, &QTimer::timeout, this, &MainForm::Timer2_Timer);
    m_group2Blink->start();
}

void MainForm::Timer1_Timer()
{
    m_habitat.scene().toggleGlowFrame(1);
}

void MainForm::Timer2_Timer()
{
    m_habitat.scene().toggleGlowFrame(2);
}

void MainForm::showEvent(QShowEvent *event)
{
    if (!m_placed) {
        m_placed = true;
        centreOnScreen();
    }
    QWidget::showEvent(event);
}

void MainForm::centreOnScreen()
{
    const QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect available = screen->availableGeometry();
    move(available.center() - QPoint(ClientWidth / 2, ClientHeight / 2));
}

} // namespace app
