#include "app/ui/MainForm.h"

#include "app/MainHelp.h"
#include "app/ui/Form1.h"
#include "app/ui/WindowHub.h"
#include "common/ProfileFile.h"
#include "common/ProgramFolder.h"
#include "common/Prompts.h"
#include "habitat/Habitat.h"
#include "habitat/HabitatHalted.h"
#include "habitat/LitterGame.h"
#include "habitat/LitterTick.h"
#include "habitat/ui/SceneCanvas.h"
#include "receive/MailStore.h"
#include "settings/AccountSettings.h"
#include "settings/ui/IdpassForm.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFontMetrics>
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
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

namespace app {
namespace {

// Places of the litter pictures Image1 to Image5 in the client area.
constexpr QPoint LitterPlaces[5] = {{304, 184}, {160, 336}, {464, 128}, {56, 216}, {456, 256}};
constexpr int HelpBoxLeft = 368;

struct ToolbarButton
{
    const char *key;
    const char16_t *caption;
};
constexpr ToolbarButton ToolbarButtons[] = {{"New", u"新規作成"},
                                            {"Jyushin", u"受信"},
                                            {"Tyakushin", u"着信履歴"},
                                            {"Set", u"設定"},
                                            {"Address", u"アドレス帳"}};

QFont uiFont(int pixelSize)
{
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setPixelSize(pixelSize);
    return font;
}

QFont titleFont(int pixelSize)
{
    QFont font(QStringLiteral("Book Antiqua"));
    font.setPixelSize(pixelSize);
    font.setBold(true);
    return font;
}

QLabel *makeLabel(QWidget *parent, const char *name, const QString &text, QRect place, const QString &colour,
                  const QFont &font)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(place);
    label->setFont(font);
    label->setStyleSheet(QStringLiteral("QLabel { color: %1; background: transparent; }").arg(colour));
    label->setMouseTracking(true);
    return label;
}

QLineEdit *makeTextBox(QWidget *parent, const char *name, QRect place, const QString &style)
{
    auto *box = new QLineEdit(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(place);
    box->setReadOnly(true);
    box->setFont(uiFont(12));
    box->setStyleSheet(QStringLiteral("QLineEdit { %1; border: 1px solid rgb(128, 128, 128); padding: 0px 1px; }")
                           .arg(style));
    box->setMouseTracking(true);
    return box;
}

QPlainTextEdit *makeTextArea(QWidget *parent, const char *name, QRect place, const QString &style)
{
    auto *box = new QPlainTextEdit(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(place);
    box->setReadOnly(true);
    box->setFont(uiFont(12));
    box->setStyleSheet(QStringLiteral("QPlainTextEdit { %1; border: 1px solid rgb(96, 96, 96); }").arg(style));
    box->document()->setDocumentMargin(2);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    return box;
}

// Texts hold CR LF line ends; a text box shows them as one line break.
QString forDisplay(QString text)
{
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

// The title "Glimra Land": its letters start right at its top edge, so that
// their upper parts peek into the client area above the window's bottom.
class TitleLabel final : public QLabel
{
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.setFont(font());
        painter.setPen(Qt::white);
        painter.drawText(0, fontMetrics().capHeight(), text());
    }
};

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
    setFont(uiFont(12));

    // The scene is created first so that every control created after it lies
    // above it.
    createScene();
    createBlinkTimers();
    createToolbar();
    createStatusPanel();
    createHelpAndCredits();
    createLitterControls();
    createHiddenControls();
    createLitterGame();
    m_windows = new WindowHub(this);
}

MainForm::~MainForm()
{
    delete m_standby;
}

Form1 *MainForm::standbyWindow() const
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

void MainForm::createToolbar()
{
    m_toolBar = new QToolBar(this);
    m_toolBar->setObjectName(QStringLiteral("tbToolBar"));
    m_toolBar->setGeometry(0, 0, 281, 58);
    m_toolBar->setMovable(false);
    m_toolBar->setIconSize(QSize(32, 32));
    m_toolBar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    // The toolbar keeps the plain face of a control: its captions are dark.
    m_toolBar->setStyleSheet(
        QStringLiteral("QToolBar#tbToolBar { spacing: 0px; padding: 0px; border: none; background: palette(window); }"));
    m_toolBar->setMouseTracking(true);
    m_toolBar->installEventFilter(this);
    m_helpTopics.insert(m_toolBar, HelpTopic::Toolbar);
    for (const ToolbarButton &button : ToolbarButtons) {
        const QString key = QString::fromLatin1(button.key);
        QAction *action = m_toolBar->addAction(QIcon(QStringLiteral(":/icons/%1.png").arg(key)),
                                               QString::fromUtf16(button.caption));
        action->setObjectName(key);
        QWidget *widget = m_toolBar->widgetForAction(action);
        widget->setObjectName(key);
        widget->setFixedSize(56, 56);
        widget->setFont(uiFont(12));
        widget->setMouseTracking(true);
        widget->installEventFilter(this);
        m_helpTopics.insert(widget, HelpTopic::Toolbar);
        connect(action, &QAction::triggered, this, [this, key] { tbToolBar_ButtonClick(key); });
    }
}

void MainForm::createStatusPanel()
{
    m_statusPanel = new QFrame(this);
    m_statusPanel->setObjectName(QStringLiteral("Frame1"));
    m_statusPanel->setGeometry(283, 20, 256, 81);
    m_statusPanel->setStyleSheet(QStringLiteral("QFrame#Frame1 { background-color: rgb(64, 64, 64); }"));
    m_statusPanel->setMouseTracking(true);
    m_statusPanel->installEventFilter(this);
    QFrame *panel = m_statusPanel;

    auto *heading = makeTextBox(panel, "Text5", {127, 8, 121, 19}, QStringLiteral("color: white; background: blue"));
    heading->setText(QStringLiteral("　  新　着　情　報"));
    m_statusText = makeTextBox(panel, "Text3", {127, 24, 121, 20}, QStringLiteral("background: white"));
    m_newCount = makeTextBox(panel, "Text6", {227, 56, 25, 18}, QStringLiteral("background: white"));
    m_storedCount = makeTextBox(panel, "Text4", {165, 56, 25, 18}, QStringLiteral("background: white"));
    makeLabel(panel, "Label4", QStringLiteral("　新着数"), {183, 60, 44, 14}, QStringLiteral("white"), uiFont(10));

    // Label1 is one array of four labels; its elements are named Label1_0 to Label1_3.
    m_menuLabels[3] = makeLabel(panel, "Label1_3", QStringLiteral("着信数（累積）"), {125, 55, 40, 26},
                                QStringLiteral("white"), uiFont(10));
    m_menuLabels[2] = makeLabel(panel, "Label1_2", QStringLiteral("新着メール有りで、メール自動表示"),
                                {8, 16, 95, 30}, QStringLiteral("white"), uiFont(11));
    m_menuLabels[1] = makeLabel(panel, "Label1_1", QStringLiteral("説明表示"), {8, 60, 56, 14},
                                QStringLiteral("white"), uiFont(11));
    for (int i = 1; i <= 3; ++i) {
        m_menuLabels[i]->setWordWrap(true);
        m_menuLabels[i]->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }

    m_autoShow = new QCheckBox(panel);
    m_autoShow->setObjectName(QStringLiteral("Check2"));
    m_autoShow->setGeometry(103, 32, 17, 17);
    m_helpDisplay = new QCheckBox(panel);
    m_helpDisplay->setObjectName(QStringLiteral("Check1"));
    m_helpDisplay->setGeometry(64, 59, 17, 17);
    connect(m_helpDisplay, &QCheckBox::toggled, this, &MainForm::Check1_Click);

    m_standbyButton = new QPushButton(QStringLiteral("待機"), panel);
    m_standbyButton->setObjectName(QStringLiteral("Command1"));
    m_standbyButton->setGeometry(85, 55, 33, 21);
    m_standbyButton->setStyleSheet(QStringLiteral("QPushButton { padding: 0px; }"));
    connect(m_standbyButton, &QPushButton::clicked, this, &MainForm::Command1_Click);

    const std::pair<QWidget *, HelpTopic> explained[] = {
        {m_helpDisplay, HelpTopic::Check1}, {m_autoShow, HelpTopic::Check2}, {m_standbyButton, HelpTopic::Command1},
        {m_statusText, HelpTopic::Text3},   {m_storedCount, HelpTopic::Text4}, {m_newCount, HelpTopic::Text6}};
    for (const auto &[widget, topic] : explained) {
        widget->setMouseTracking(true);
        widget->installEventFilter(this);
        m_helpTopics.insert(widget, topic);
    }
    for (int i = 1; i <= 3; ++i)
        m_menuLabels[i]->installEventFilter(this);
}

void MainForm::createHelpAndCredits()
{
    m_helpBox = makeTextArea(this, "Text1", {HelpBoxLeft, 104, 169, 121},
                             QStringLiteral("color: white; background-color: rgb(128, 128, 255)"));
    // The longest explanation needs more room than the box has.
    m_helpBox->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_creditBox = makeTextArea(this, "Text7", {8, 136, 249, 49},
                               QStringLiteral("color: black; background-color: rgb(128, 128, 255)"));

    m_menuLabels[0] = new TitleLabel(QStringLiteral("Glimra Land"), this);
    m_menuLabels[0]->setObjectName(QStringLiteral("Label1_0"));
    m_menuLabels[0]->setGeometry(8, 385, 183, 41);
    m_menuLabels[0]->setFont(titleFont(26));
    m_menuLabels[0]->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    m_menuLabels[0]->installEventFilter(this);

    const QString name = QString::fromLatin1(CreditName);
    m_authorLabel = makeLabel(this, "Label2", QStringLiteral("Produce by ") + name, {5, 88, 153, 20},
                              QStringLiteral("yellow"), titleFont(10));
    m_designerLabel = makeLabel(this, "Label6", QStringLiteral("Design by ") + name, {376, 397, 169, 20},
                                QStringLiteral("rgb(0, 255, 0)"), titleFont(10));
    for (QLabel *label : {m_authorLabel, m_designerLabel}) {
        label->setCursor(Qt::PointingHandCursor);
        label->installEventFilter(this);
    }

    m_popupMenu = new QMenu(QStringLiteral("Popup"), this);
    m_popupMenu->setObjectName(QStringLiteral("mpopup"));
    QAction *revive = m_popupMenu->addAction(QStringLiteral("蛍を復活させる"));
    revive->setObjectName(QStringLiteral("mfukatu"));
    connect(revive, &QAction::triggered, this, [this] { m_litterGame->mfukatu_Click(); });
}

void MainForm::createLitterControls()
{
    m_litterMessage = makeTextArea(this, "Text2", {344, 296, 193, 65},
                                   QStringLiteral("color: black; background-color: rgb(224, 224, 224)"));
    m_alarm = makeLabel(this, "Label5", QStringLiteral("助けて下さいっ！！"), {192, 208, 105, 17},
                        QStringLiteral("white"), uiFont(12));
    for (int i = 0; i < 5; ++i) {
        m_litter[i] = new QLabel(this);
        m_litter[i]->setObjectName(QStringLiteral("Image%1").arg(i + 1));
        m_litter[i]->setGeometry(QRect(LitterPlaces[i], QSize(32, 32)));
        m_litter[i]->setCursor(Qt::PointingHandCursor);
        m_litter[i]->installEventFilter(this);
    }
    m_countdownBar = new QProgressBar(this);
    m_countdownBar->setObjectName(QStringLiteral("Bar1"));
    m_countdownBar->setGeometry(8, 368, 529, 17);
    m_countdownBar->setRange(0, habitat::LitterGame::FullHealth);
    m_countdownBar->setTextVisible(false);
}

void MainForm::createHiddenControls()
{
    // Below the client area: never seen, but part of the window.
    m_healthText = makeTextBox(this, "Text8", {8, 400, 60, 20}, QStringLiteral("background: white"));
    m_healthText->setText(QStringLiteral("Text8"));
    m_viewMailButton = new QPushButton(QStringLiteral("      メールを見る"), this);
    m_viewMailButton->setObjectName(QStringLiteral("Command6"));
    m_viewMailButton->setGeometry(80, 400, 120, 24);
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

    if (settings::accountSettings().Pop3Server.isEmpty())
        m_windows->showOptionForm();
    settings::IdpassForm *credentials = m_windows->idpassForm();
    if (credentials->idText().isEmpty() || credentials->passText().isEmpty())
        m_showCredentialsAtShow = true;
    if (m_showCredentialsAtShow && isVisible()) {
        m_showCredentialsAtShow = false;
        m_windows->showIdpassForm();
    }
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
    // The credentials window asked for at load comes up over the main window.
    if (m_showCredentialsAtShow) {
        m_showCredentialsAtShow = false;
        m_windows->showIdpassForm();
    }
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
    // FIXME: "New", "Jyushin", "Tyakushin" and "Address" open the composer,
    // the mail check, the viewer and the address book once those exist.
    if (key == QLatin1String("Set"))
        m_windows->showSetForm();
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
        m_standby = new Form1;
        connect(m_standby, &Form1::returnRequested, this, &MainForm::returnFromStandby);
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

void MainForm::showHelp(HelpTopic topic)
{
    m_helpBox->show();
    m_helpBox->setPlainText(forDisplay(helpText(topic)));
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
    m_helpBox->move(HelpBoxLeft, view.helpBoxTop);
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

    if (pointerMoved && m_helpTopics.contains(watched)) {
        showHelp(m_helpTopics.value(watched));
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
        m_creditBox->setPlainText(forDisplay(page.hoverText));
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
