#pragma once

#include "common/ui/FormKit.h"

#include <QPointer>
#include <QWidget>

#include <cstdlib>
#include <functional>

class QCheckBox;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTimer;
class QToolBar;

namespace habitat {
class Habitat;
class LitterGame;
class SceneCanvas;
} // namespace habitat

namespace app {

class StandbyWindow;
class MainFormMailCheck;
class WindowHub;

// What the main window starts and ends outside itself; tests replace them.
struct MainFormServices
{
    std::function<void()> startMailLayer; // NMailInitializeWinSock, NMailSetOption(1, 8192)
    std::function<void()> stopMailLayer;  // NMailEndWinSock
    std::function<void()> endProcess;     // ends the process at once; by default std::exit

    // The mail layer and the real end of the process.
    [[nodiscard]] static MainFormServices standard();
};

// The main window: the night scene fills it, the program's controls lie on
// top of the scene: the toolbar, the new-mail panel with its counters and
// boxes, the help and credit boxes, the litter of the habitat's game and its
// countdown. Fixed client area of 542 x 396 pixels, centred at start.
class MainForm : public QWidget
{
    Q_OBJECT
public:
    explicit MainForm(habitat::Habitat &habitat, QWidget *parent = nullptr);
    ~MainForm() override;

    static constexpr int ClientWidth = 542;
    static constexpr int ClientHeight = 396;

    [[nodiscard]] habitat::Habitat &habitat() { return m_habitat; }
    // The scene canvas picMain; the main loop shows its frames here.
    [[nodiscard]] habitat::SceneCanvas *sceneCanvas() const { return m_sceneCanvas; }
    [[nodiscard]] habitat::LitterGame &litterGame() { return *m_litterGame; }
    [[nodiscard]] WindowHub &windows() { return *m_windows; }
    // The standby window, once the first standby created it.
    [[nodiscard]] StandbyWindow *standbyWindow() const;

    // Replaces the services before Form_Load runs.
    void setServices(MainFormServices services) { m_services = std::move(services); }

    // The load handler; the start-up runs it once, before the window is first
    // shown: the boxes from the profile, the stored mail count, the account
    // file, the mail layer, and the settings windows when values are missing.
    void Form_Load();

    // The values that other windows and the mail check read or write.
    [[nodiscard]] QCheckBox *helpDisplayBox() const { return m_helpDisplay; } // Check1
    [[nodiscard]] QCheckBox *autoShowBox() const { return m_autoShow; }       // Check2
    [[nodiscard]] QPlainTextEdit *helpTextBox() const { return m_helpBox; }   // Text1
    [[nodiscard]] QPlainTextEdit *scratchBox() const { return m_litterMessage; } // Text2
    [[nodiscard]] QLineEdit *statusBox() const { return m_statusText; }       // Text3
    [[nodiscard]] QLineEdit *storedCountBox() const { return m_storedCount; } // Text4
    [[nodiscard]] QLineEdit *newCountBox() const { return m_newCount; }       // Text6

    // Opens the received-mail viewer, or brings it forward, and fills its
    // list afresh. The tool bar's "Tyakushin" and the mail check run it.
    void Command6_Click();
    // The tool bar's "受信": the mailbox check, with its progress and "中止".
    void ReceiveMail();
    [[nodiscard]] MainFormMailCheck &mailCheck() { return *m_mailCheck; }

public Q_SLOTS:
    // Brings the program to the front, as a second start asks: the main
    // window, restored when minimised, or the standby window during standby.
    void bringToFront();

    // Blink of firefly group 1 (Timer1, every 2 s) and group 2 (Timer2, every 3 s).
    void Timer1_Timer();
    void Timer2_Timer();

protected:
    void showEvent(QShowEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void createScene();
    void createBlinkTimers();
    void centreOnScreen();
    // MainFormLayout.cpp: the controls at their places.
    void createKeyboardCommands();
    void createControls();
    void createToolbar();
    void createStatusPanel();
    void createHelpAndCredits();
    void createLitterControls();
    void createHiddenControls();
    void createLitterGame();

    void tbToolBar_ButtonClick(const QString &key);
    void Check1_Click();
    void Command1_Click();
    void returnFromStandby();
    void showStoredMailCount();
    void showRequestedSettingsWindows();
    void showLitter();
    void loadLitterPictures(const QString &pictureFile);
    void Form_Unload();

    habitat::Habitat &m_habitat;
    habitat::SceneCanvas *m_sceneCanvas = nullptr;
    QTimer *m_group1Blink = nullptr;
    QTimer *m_group2Blink = nullptr;
    bool m_placed = false;

    MainFormServices m_services{{}, {}, [] { std::exit(0); }};
    WindowHub *m_windows = nullptr;
    MainFormMailCheck *m_mailCheck = nullptr;
    habitat::LitterGame *m_litterGame = nullptr;
    QPointer<StandbyWindow> m_standby;
    bool m_askServerSettings = false; // the load found no POP3 server
    bool m_askCredentials = false;    // the load found no ID or no password
    // Controls that explain themselves in the help box; Tab explains them too.
    common::HoverHelp m_hoverHelp{common::HoverHelp::ExplainOnTab};

    QToolBar *m_toolBar = nullptr;
    QFrame *m_statusPanel = nullptr;
    QLineEdit *m_statusText = nullptr;     // Text3
    QLineEdit *m_storedCount = nullptr;    // Text4
    QLineEdit *m_newCount = nullptr;       // Text6
    QCheckBox *m_helpDisplay = nullptr;    // Check1
    QCheckBox *m_autoShow = nullptr;       // Check2
    QPushButton *m_standbyButton = nullptr;
    QLabel *m_menuLabels[4] = {};          // Label1(0) to Label1(3)
    QPlainTextEdit *m_helpBox = nullptr;   // Text1
    QPlainTextEdit *m_creditBox = nullptr; // Text7
    QLabel *m_authorLabel = nullptr;       // Label2
    QLabel *m_designerLabel = nullptr;     // Label6
    QPlainTextEdit *m_litterMessage = nullptr; // Text2
    QLabel *m_alarm = nullptr;             // Label5
    QLabel *m_litter[5] = {};              // Image1 to Image5
    QProgressBar *m_countdownBar = nullptr; // Bar1
    QLineEdit *m_healthText = nullptr;     // Text8
    QPushButton *m_viewMailButton = nullptr; // Command6
    QMenu *m_popupMenu = nullptr;          // mpopup
    QTimer *m_litterTimer = nullptr;       // Timer3
    QTimer *m_countdownTimer = nullptr;    // Timer4
};

} // namespace app
