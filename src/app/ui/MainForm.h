#pragma once

#include <QWidget>

class QTimer;

namespace habitat {
class Habitat;
class SceneCanvas;
} // namespace habitat

namespace app {

// The main window: the night scene fills it, the program's controls lie on
// top of the scene. Fixed client area of 542 x 396 pixels, centred at start.
class MainForm : public QWidget
{
    Q_OBJECT
public:
    explicit MainForm(habitat::Habitat &habitat, QWidget *parent = nullptr);

    static constexpr int ClientWidth = 542;
    static constexpr int ClientHeight = 396;

    [[nodiscard]] habitat::Habitat &habitat() { return m_habitat; }
    // The scene canvas picMain; the main loop shows its frames here.
    [[nodiscard]] habitat::SceneCanvas *sceneCanvas() const { return m_sceneCanvas; }

public Q_SLOTS:
    // Blink of firefly group 1 (Timer1, every 2 s) and group 2 (Timer2, every 3 s).
    void Timer1_Timer();
    void Timer2_Timer();

protected:
    void showEvent(QShowEvent *event) override;

private:
    void createScene();
    void createBlinkTimers();
    void centreOnScreen();

    habitat::Habitat &m_habitat;
    habitat::SceneCanvas *m_sceneCanvas = nullptr;
    QTimer *m_group1Blink = nullptr;
    QTimer *m_group2Blink = nullptr;
    bool m_placed = false;
};

} // namespace app
