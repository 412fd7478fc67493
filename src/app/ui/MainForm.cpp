#include "app/ui/MainForm.h"

#include "app/MainHelp.h"
#include "app/ui/MainFormMailCheck.h"
#include "app/ui/StandbyWindow.h"
#include "app/ui/WindowHub.h"
#include "common/ProfileFile.h"
#include "common/ProgramFolder.h"
#include "common/Prompts.h"
#include "common/ui/HeaderColouring.h"
#include "habitat/Habitat.h"
#include "habitat/HabitatHalted.h"
#include "habitat/LitterGame.h"
#include "habitat/LitterTick.h"
#include "habitat/ui/SceneCanvas.h"
#include "receive/MailStore.h"
#include "settings/AccountSettings.h"
#include "settings/ui/IdpassForm.h"
#include "viewer/ui/TyakuForm.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QTreeView>

#include <utility>

namespace app {
namespace {

// A stand-in for a litter picture that cannot be read, so that the litter can
// still be seen and clicked away.
QPixmap missingLitterPicture()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(QColor(160, 160, 160));
    QPainter painter(&pixmap);
    painter.setPen(QPen(Qt::black, 2));
    painter.drawRect(1, 1, 30, 30);
    painter.drawLine(6, 6, 26, 26);
    painter.drawLine(26, 6, 6, 26);
    return pixmap;
}

} // namespace

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
    createControls();
    createLitterGame();
    createKeyboardCommands();
    m_windows = new WindowHub(this);
    m_mailCheck = new MainFormMailCheck(*this);
}

void MainForm::createKeyboardCommands()
{
    // What the mouse alone did: the labels' menu (Shift+F10 or the menu key,
    // as for any context menu) and picking up a piece of litter (Delete).
    for (const QKeySequence &keys : {QKeySequence(Qt::SHIFT | Qt::Key_F10), QKeySequence(Qt::Key_Menu)}) {
        auto *menuKey = new QShortcut(keys, this);
        connect(menuKey, &QShortcut::activated, this, [this] {
            QLabel *label = m_menuLabels[1];
            m_popupMenu->popup(label->mapToGlobal(QPoint(0, label->height())));
        });
    }
    auto *pickUp = new QShortcut(QKeySequence(Qt::Key_Delete), this);
    connect(pickUp, &QShortcut::activated, this, [this] {
        for (int i = 0; i < int(std::size(m_litter)); ++i) {
            if (m_litter[i]->isVisible()) {
                m_litterGame->clickPicture(i);
                return;
            }
        }
    });
}

MainForm::~MainForm()
{
    delete m_standby;
}

StandbyWindow *MainForm::standbyWindow() const
{
    return m_standby;
}

void MainForm::createScene()
{
    // The canvas is larger than the window and placed 24 pixels up: its top
    // rows and right columns are never seen.
    m_sceneCanvas = new habitat::SceneCanvas(this);
    m_sceneCanvas->setObjectName(QStringLiteral("picMain"));
    m_sceneCanvas->move(0, -24);
    m_sceneCanvas->setMouseTracking(true);
    m_sceneCanvas->installEventFilter(this);
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

void MainForm::createLitterGame()
{
    habitat::LitterGame::Habitat hooks{[] { return habitat::HabitatHalted == 1; },
                                       [](bool halted) { habitat::HabitatHalted = halted ? 1 : 0; },
                                       [this] { m_habitat.scene().toggleGlowFrame(3); }};
    m_litterGame = new habitat::LitterGame(std::move(hooks), this);
    connect(m_litterGame, &habitat::LitterGame::changed, this, &MainForm::showLitter);
    connect(m_litterGame, &habitat::LitterGame::thrown, this, &MainForm::loadLitterPictures);
    connect(m_litterGame, &habitat::LitterGame::healthChanged, m_healthText, &QLineEdit::setText);

    m_litterTimer = new QTimer(this);
    m_litterTimer->setObjectName(QStringLiteral("Timer3"));
    connect(m_litterTimer, &QTimer::timeout, m_litterGame, &habitat::LitterGame::Timer3_Timer);
    auto followTick = [this](int interval) {
        if (interval > 0)
            m_litterTimer->start(interval);
        else
            m_litterTimer->stop();
    };
    connect(&habitat::litterTick(), &habitat::LitterTick::intervalChanged, this, followTick);
    followTick(habitat::litterTick().interval());

    m_countdownTimer = new QTimer(this);
    m_countdownTimer->setObjectName(QStringLiteral("Timer4"));
    connect(m_countdownTimer, &QTimer::timeout, m_litterGame, &habitat::LitterGame::Timer4_Timer);
    showLitter();
}

void MainForm::Timer1_Timer()
{
    m_habitat.scene().toggleGlowFrame(1);
}

void MainForm::Timer2_Timer()
{
    m_habitat.scene().toggleGlowFrame(2);
}

void MainForm::Form_Load()
{
    m_alarm->hide();
    m_creditBox->hide();
    m_countdownBar->hide();
    for (QLabel *picture : m_litter)
        picture->hide();
    m_litterMessage->hide();
    m_helpBox->setVisible(m_helpDisplay->isChecked());

    const int helpDisplay = common::ProfileReadInt(QStringLiteral("NUMBER"), 0);
    if (helpDisplay == 0 || helpDisplay == 1)
        m_helpDisplay->setChecked(helpDisplay == 1);
    const int autoShow = common::ProfileReadInt(QStringLiteral("NUMBER2"), 0);
    if (autoShow == 0 || autoShow == 1)
        m_autoShow->setChecked(autoShow == 1);

    showStoredMailCount();
    settings::LoadAccountFile();
    if (m_services.startMailLayer)
        m_services.startMailLayer();

    m_askServerSettings = settings::accountSettings().Pop3Server.isEmpty();
    settings::IdpassForm *credentials = m_windows->idpassForm();
    m_askCredentials = credentials->idText().isEmpty() || credentials->passText().isEmpty();
    if (isVisible())
        showRequestedSettingsWindows();
}

void MainForm::showRequestedSettingsWindows()
{
    // Shown once the main window is up, so that they come up over it.
    if (std::exchange(m_askServerSettings, false))
        m_windows->showOptionForm();
    if (std::exchange(m_askCredentials, false))
        m_windows->showIdpassForm();
}

void MainForm::showStoredMailCount()
{
    receive::MailStore store;
    const common::StoreStatus created = store.createIfMissing();
    if (!created.ok())
        common::prompts().inform(created.message(), QString(), common::PromptIcon::Warning);
    m_storedCount->setText(QString::number(store.CountMailRecords()));
}

void MainForm::showEvent(QShowEvent *event)
{
    if (!m_placed) {
        m_placed = true;
        centreOnScreen();
    }
    QWidget::showEvent(event);
    showRequestedSettingsWindows();
}

void MainForm::centreOnScreen()
{
    const QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect available = screen->availableGeometry();
    move(available.center() - QPoint(ClientWidth / 2, ClientHeight / 2));
}

void MainForm::tbToolBar_ButtonClick(const QString &key)
{
    if (key == QLatin1String("Jyushin"))
        ReceiveMail();
    else if (key == QLatin1String("Set"))
        m_windows->showSetForm();
    else if (key == QLatin1String("Tyakushin"))
        Command6_Click();
    else if (key == QLatin1String("New"))
        m_windows->showWriteForm();
    else if (key == QLatin1String("Address"))
        m_windows->showFriendForm();
}

void MainForm::ReceiveMail()
{
    m_mailCheck->ReceiveMail();
}

void MainForm::Command6_Click()
{
    viewer::TyakuForm *form = m_windows->showTyakuForm();
    form->setWindowTitle(QStringLiteral("着信履歴"));
    QPalette list = form->mailList()->palette();
    list.setColor(QPalette::Base, QColor(210, 250, 250));
    form->mailList()->setPalette(list);
    form->FillMailList();
}

void MainForm::Check1_Click()
{
    const bool ticked = m_helpDisplay->isChecked();
    m_helpBox->setVisible(ticked);
    m_litterGame->setHelpDisplay(ticked);
}

void MainForm::Command1_Click()
{
    if (!m_standby) {
        m_standby = new StandbyWindow;
        connect(m_standby, &StandbyWindow::returnRequested, this, &MainForm::returnFromStandby);
    }
    m_standby->show();
    m_standby->raise();
    hide();
}

void MainForm::returnFromStandby()
{
    show();
    raise();
    activateWindow();
    if (m_standby)
        m_standby->hide();
}

void MainForm::bringToFront()
{
    QWidget *window = this;
    if (!isVisible() && m_standby && m_standby->isVisible())
        window = m_standby;
    if (window->isMinimized())
        window->showNormal();
    else
        window->show();
    window->raise();
    window->activateWindow();
}

void MainForm::showLitter()
{
    const habitat::LitterView &view = m_litterGame->view();
    for (int i = 0; i < 5; ++i)
        m_litter[i]->setVisible(view.pictureShown[size_t(i)]);
    if (m_litterMessage->toPlainText() != view.message)
        m_litterMessage->setPlainText(view.message);
    m_litterMessage->setVisible(view.messageShown);
    m_alarm->setVisible(view.alarmShown);
    m_countdownBar->setValue(view.barValue);
    m_countdownBar->setVisible(view.barShown);
    m_helpBox->move(m_helpBox->x(), view.helpBoxTop);
    if (view.countdownInterval <= 0)
        m_countdownTimer->stop();
    else if (!m_countdownTimer->isActive() || m_countdownTimer->interval() != view.countdownInterval)
        m_countdownTimer->start(view.countdownInterval);
}

void MainForm::loadLitterPictures(const QString &pictureFile)
{
    // Read anew at every throw, for each picture in turn.
    for (QLabel *picture : m_litter) {
        QPixmap pixmap(common::ProgramFolder::dataFile(QString::fromUtf16(common::PictureFolderName)
                                                       + QLatin1Char('/') + pictureFile));
        picture->setPixmap(pixmap.isNull() ? missingLitterPicture() : pixmap);
    }
}

bool MainForm::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    const bool pointerMoved = type == QEvent::MouseMove || type == QEvent::Enter;
    const auto *mouse = static_cast<QMouseEvent *>(event);
    const bool leftUp = type == QEvent::MouseButtonRelease && mouse->button() == Qt::LeftButton;

    if (m_hoverHelp.explain(watched, event)) {
        // The control's text is in the help box.
    } else if (type == QEvent::MouseMove && watched == m_statusPanel
               && !m_statusPanel->childAt(mouse->position().toPoint())) {
        // Only the panel's own background: moves over its controls reach the
        // panel too when the control leaves them unhandled.
        m_helpBox->hide();
    } else if (type == QEvent::MouseMove && watched == m_sceneCanvas) {
        m_creditBox->hide();
        m_helpBox->hide();
        m_helpBox->clear();
    } else if (pointerMoved && (watched == m_authorLabel || watched == m_designerLabel)) {
        const CreditPage page = watched == m_authorLabel ? authorPage() : designerPage();
        m_creditBox->show();
        m_creditBox->setPlainText(common::forDisplay(page.hoverText));
    } else if (leftUp && (watched == m_authorLabel || watched == m_designerLabel)) {
        common::prompts().openUrl(watched == m_authorLabel ? authorPage().url : designerPage().url);
    } else if (type == QEvent::MouseButtonRelease && mouse->button() == Qt::RightButton
               && std::find(std::begin(m_menuLabels), std::end(m_menuLabels), watched) != std::end(m_menuLabels)) {
        m_popupMenu->popup(mouse->globalPosition().toPoint());
    } else if (leftUp) {
        const auto picture = std::find(std::begin(m_litter), std::end(m_litter), watched);
        if (picture != std::end(m_litter))
            m_litterGame->clickPicture(int(picture - std::begin(m_litter)));
    }
    return QWidget::eventFilter(watched, event);
}

void MainForm::closeEvent(QCloseEvent *event)
{
    event->accept();
    // The viewer's list gives up its coloured header; the viewer is loaded,
    // hidden, for this when it is not loaded.
    common::RemoveHeaderColouring(m_windows->tyakuForm()->mailList());
    Form_Unload();
}

void MainForm::Form_Unload()
{
    common::ProfileWrite(QStringLiteral("NUMBER"), m_helpDisplay->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    common::ProfileWrite(QStringLiteral("NUMBER2"), m_autoShow->isChecked() ? QStringLiteral("1") : QStringLiteral("0"));
    if (m_services.stopMailLayer)
        m_services.stopMailLayer();
    if (m_services.endProcess)
        m_services.endProcess();
}

} // namespace app
