#include "app/ui/MainForm.h"

#include "app/MainHelp.h"
#include "habitat/LitterGame.h"

#include <QAction>
#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTextDocument>
#include <QFontMetrics>
#include <QToolBar>
#include <QToolButton>

// The controls of the main window at their places in the client area. The
// behaviour behind them is in MainForm.cpp.
namespace app {
namespace {


// Places of the litter pictures Image1 to Image5 in the client area.
constexpr QPoint LitterPlaces[5] = {{304, 184}, {160, 336}, {464, 128}, {56, 216}, {456, 256}};
constexpr int HelpBoxLeft = 368;

struct ToolbarButton
{
    const char *key;
    const char16_t *caption;
    QKeyCombination shortcut;
};
const ToolbarButton ToolbarButtons[] = {{"New", u"新規作成", Qt::CTRL | Qt::Key_N},
                                        {"Jyushin", u"受信", QKeyCombination(Qt::Key_F5)},
                                        {"Tyakushin", u"着信履歴", Qt::CTRL | Qt::Key_I},
                                        {"Set", u"設定", Qt::CTRL | Qt::Key_Comma},
                                        {"Address", u"アドレス帳", Qt::CTRL | Qt::Key_B}};

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

// A control that has no caption of its own is named for screen readers after
// the label beside it; the label also points to it.
void nameAfterLabel(QWidget *control, QLabel *label)
{
    label->setBuddy(control);
    control->setAccessibleName(label->text().trimmed());
}

} // namespace

void MainForm::createControls()
{
    setFont(uiFont(12));
    createToolbar();
    createStatusPanel();
    createHelpAndCredits();
    createLitterControls();
    createHiddenControls();
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
    m_hoverHelp.add(m_toolBar, helpText(HelpTopic::Toolbar), this);
    for (const ToolbarButton &button : ToolbarButtons) {
        const QString key = QString::fromLatin1(button.key);
        QAction *action = m_toolBar->addAction(QIcon(QStringLiteral(":/icons/%1.png").arg(key)),
                                               QString::fromUtf16(button.caption));
        action->setObjectName(key);
        // The buttons can be reached with Tab, and pressed from anywhere in the
        // window with their keys; the tip says which.
        action->setShortcut(QKeySequence(button.shortcut));
        action->setShortcutContext(Qt::WindowShortcut);
        const QString keyText = action->shortcut().toString(QKeySequence::NativeText);
        action->setToolTip(QStringLiteral("%1（%2）").arg(QString::fromUtf16(button.caption), keyText));
        QWidget *widget = m_toolBar->widgetForAction(action);
        widget->setObjectName(key);
        widget->setFocusPolicy(Qt::StrongFocus);
        widget->setAccessibleDescription(QStringLiteral("キー: ") + keyText);
        widget->setFixedSize(56, 56);
        // A caption too long for the button ("アドレス帳") is set smaller
        // rather than cut.
        QFont font = uiFont(12);
        for (int size = 11; size >= 9 && QFontMetrics(font).horizontalAdvance(action->text()) > 50; --size)
            font = uiFont(size);
        widget->setFont(font);
        m_hoverHelp.add(widget, helpText(HelpTopic::Toolbar), this);
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
    heading->setAccessibleName(QStringLiteral("新着情報"));
    m_statusText = makeTextBox(panel, "Text3", {127, 24, 121, 20}, QStringLiteral("background: white"));
    m_statusText->setAccessibleName(QStringLiteral("新着メールの有無"));
    m_newCount = makeTextBox(panel, "Text6", {227, 56, 25, 18}, QStringLiteral("background: white"));
    m_storedCount = makeTextBox(panel, "Text4", {165, 56, 25, 18}, QStringLiteral("background: white"));
    QLabel *newCountLabel = makeLabel(panel, "Label4", QStringLiteral("　新着数"), {183, 60, 44, 14},
                                      QStringLiteral("white"), uiFont(10));
    nameAfterLabel(m_newCount, newCountLabel);

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
    // The boxes' captions are the labels of the Label1 array beside them.
    nameAfterLabel(m_storedCount, m_menuLabels[3]);
    nameAfterLabel(m_autoShow, m_menuLabels[2]);
    nameAfterLabel(m_helpDisplay, m_menuLabels[1]);

    m_standbyButton = new QPushButton(QStringLiteral("待機"), panel);
    m_standbyButton->setObjectName(QStringLiteral("Command1"));
    m_standbyButton->setGeometry(85, 55, 33, 21);
    m_standbyButton->setStyleSheet(QStringLiteral("QPushButton { padding: 0px; }"));
    connect(m_standbyButton, &QPushButton::clicked, this, &MainForm::Command1_Click);

    const std::pair<QWidget *, HelpTopic> explained[] = {
        {m_helpDisplay, HelpTopic::Check1}, {m_autoShow, HelpTopic::Check2}, {m_standbyButton, HelpTopic::Command1},
        {m_statusText, HelpTopic::Text3},   {m_storedCount, HelpTopic::Text4}, {m_newCount, HelpTopic::Text6}};
    for (const auto &[widget, topic] : explained)
        m_hoverHelp.add(widget, helpText(topic), this);
    for (int i = 1; i <= 3; ++i)
        m_menuLabels[i]->installEventFilter(this);
}

void MainForm::createHelpAndCredits()
{
    m_helpBox = makeTextArea(this, "Text1", {HelpBoxLeft, 104, 169, 121},
                             QStringLiteral("color: white; background-color: rgb(128, 128, 255)"));
    // The longest explanation needs more room than the box has.
    m_helpBox->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_helpBox->setAccessibleName(QStringLiteral("説明"));
    m_hoverHelp.setBox(m_helpBox);
    m_creditBox = makeTextArea(this, "Text7", {8, 136, 249, 49},
                               QStringLiteral("color: black; background-color: rgb(128, 128, 255)"));
    m_creditBox->setAccessibleName(QStringLiteral("制作者の紹介"));

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
    m_litterMessage->setAccessibleName(QStringLiteral("お知らせ"));
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
    m_countdownBar->setAccessibleName(QStringLiteral("蛍の体力"));
}

void MainForm::createHiddenControls()
{
    // Below the client area: never seen, but part of the window.
    m_healthText = makeTextBox(this, "Text8", {8, 400, 60, 20}, QStringLiteral("background: white"));
    m_healthText->setText(QStringLiteral("Text8"));
    m_healthText->setAccessibleName(QStringLiteral("蛍の体力"));
    m_viewMailButton = new QPushButton(QStringLiteral("      メールを見る"), this);
    m_viewMailButton->setObjectName(QStringLiteral("Command6"));
    m_viewMailButton->setGeometry(80, 400, 120, 24);
    connect(m_viewMailButton, &QPushButton::clicked, this, &MainForm::Command6_Click);
}

} // namespace app
