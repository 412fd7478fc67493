#include "viewer/ui/TyakuForm.h"

#include "editor/ui/EditorCommands.h"
#include "viewer/MailListModel.h"
#include "viewer/ShownMailText.h"
#include "viewer/TyakuLayout.h"
#include "viewer/ViewerHelp.h"
#include "viewer/ui/TyakuForm_p.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTextEdit>
#include <QToolBar>
#include <QTreeView>

// The viewer window's controls at their places in the client area, and the
// layout pass that follows the window's size.
namespace viewer {

using tyakuform::setButtonColour;
using tyakuform::toDisplay;

namespace {

constexpr int ListTop = 960;
constexpr int HeaderBoxHeight = 375;
constexpr int StatusBarHeight = 375;
constexpr int CopyBoxWidth = 3735, CopyBoxHeight = 270;
constexpr int CopyButtonWidth = 2895, CopyButtonHeight = 255;
constexpr int DesignCopyButtonLeft = 1920;

const QColor Grey(192, 192, 192);

QString msPGothic()
{
    return QStringLiteral("ＭＳ Ｐゴシック");
}

QRect pixels(int left, int top, int width, int height)
{
    return {twipsToPixels(float(left)), twipsToPixels(float(top)), twipsToPixels(float(width)),
            twipsToPixels(float(height))};
}

void place(QWidget *widget, int left, int top, int width, int height)
{
    widget->setGeometry(pixels(left, top, width, height));
}

QPushButton *colouredButton(QWidget *parent, const char *name, const QString &caption, const QColor &colour)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QLatin1String(name));
    button->setAccessibleName(caption.trimmed());
    setButtonColour(button, colour);
    return button;
}

QLineEdit *textBox(QWidget *parent, const char *name, const QString &accessibleName)
{
    auto *box = new QLineEdit(parent);
    box->setObjectName(QLatin1String(name));
    box->setAccessibleName(accessibleName);
    return box;
}

} // namespace

void tyakuform::setButtonColour(QPushButton *button, const QColor &colour)
{
    button->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; color: black; text-align: center;"
                                         " border: 2px outset %2; }"
                                         "QPushButton:pressed { border-style: inset; }"
                                         "QPushButton:focus { outline: none; border-color: %3; }")
                              .arg(colour.name(), colour.lighter(115).name(), colour.darker(140).name()));
}

void TyakuForm::createControls()
{
    // Picture1: the strip behind the tool bar.
    m_toolStrip = new QWidget(m_client);
    m_toolStrip->setObjectName(QStringLiteral("Picture1"));
    m_toolStrip->setAutoFillBackground(true);
    QPalette strip = m_toolStrip->palette();
    strip.setColor(QPalette::Window, Grey);
    m_toolStrip->setPalette(strip);
    place(m_toolStrip, 0, 0, ClientWidthTwips, 390);

    createReadingFields();
    createEditor();
    createButtons();

    m_helpBox = new QPlainTextEdit(m_client);
    m_helpBox->setObjectName(QStringLiteral("Text4"));
    m_helpBox->setAccessibleName(QStringLiteral("説明"));
    m_helpBox->setReadOnly(true);
    m_helpBox->setFocusPolicy(Qt::NoFocus);
    place(m_helpBox, 1320, 3840, 5535, 1935);

    m_statusBar = new QStatusBar(m_client);
    m_statusBar->setObjectName(QStringLiteral("StatusBar1"));
    m_statusBar->setSizeGripEnabled(true);
    place(m_statusBar, 0, 6900, ClientWidthTwips, StatusBarHeight);

    m_headerCopyButton = colouredButton(m_client, "Command1", QStringLiteral("コピー（Subject/from/Data）"), Grey);
    place(m_headerCopyButton, DesignCopyButtonLeft, 6960, CopyButtonWidth, CopyButtonHeight);
    m_headerCopyBox = textBox(m_client, "Text6", QStringLiteral("コピーした内容"));
    m_headerCopyBox->setReadOnly(true);
    place(m_headerCopyBox, 5160, 6960, CopyBoxWidth, CopyBoxHeight);

    m_selectionMarker = new QLineEdit(m_client);
    m_selectionMarker->setObjectName(QStringLiteral("Text5"));
    m_selectionMarker->hide();

    m_helpTopics = {{m_headerCopyButton, ViewerHelp::Command1}, {m_quickSaveButton, ViewerHelp::Command2},
                    {m_deleteOneButton, ViewerHelp::Command3},  {m_registerButton, ViewerHelp::Command4},
                    {m_replyButton, ViewerHelp::Command5},      {m_deleteAllButton, ViewerHelp::Command6},
                    {m_searchBox, ViewerHelp::Text1}};
    for (auto it = m_helpTopics.cbegin(); it != m_helpTopics.cend(); ++it) {
        auto *widget = static_cast<QWidget *>(it.key());
        widget->setMouseTracking(true);
        widget->installEventFilter(this);
    }
    for (QWidget *pane : {static_cast<QWidget *>(m_mailList->viewport()), static_cast<QWidget *>(m_mailList),
                          static_cast<QWidget *>(m_bodyBox->viewport())}) {
        pane->setMouseTracking(true);
        pane->installEventFilter(this);
    }
}

void TyakuForm::createButtons()
{
    m_quickSaveButton = colouredButton(m_client, "Command2", QStringLiteral("TextQuickSave"), Grey);
    m_quickSaveButton->setAccessibleName(QStringLiteral("TextQuickSave（テキストで保存）"));
    place(m_quickSaveButton, 3960, 0, 1815, 340);

    createSearchBox();
    createMailButtons();

    m_countLabel = new QLabel(QStringLiteral("件数"), m_client);
    m_countLabel->setObjectName(QStringLiteral("Label4"));
    place(m_countLabel, 6600, 620, 495, 255);
    m_countBox = textBox(m_client, "Text2", QStringLiteral("件数"));
    m_countBox->setReadOnly(true);
    place(m_countBox, 7200, 620, 495, 270);
    m_countLabel->setBuddy(m_countBox);
    connect(m_countBox, &QLineEdit::textChanged, this, &TyakuForm::Text2_Change);
}

void TyakuForm::createSearchBox()
{
    m_searchLabel = new QLabel(QStringLiteral("検索文字"), m_client);
    m_searchLabel->setObjectName(QStringLiteral("Label2"));
    m_searchLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    place(m_searchLabel, 6240, 80, 735, 375);
    m_searchBox = textBox(m_client, "Text1", QStringLiteral("検索文字"));
    m_searchBox->setFont(QFont(msPGothic(), 12));
    place(m_searchBox, 7080, 0, 1935, 375);
    m_searchLabel->setBuddy(m_searchBox);
    // Enter in the search box searches on from the match, or from the start
    // for a new word or after a search that found nothing. The box keeps the
    // focus, so that the next Enter searches on instead of typing a line
    // break over the selected match in the body.
    connect(m_searchBox, &QLineEdit::returnPressed, this, [this] {
        selectMatch(m_search.findOnEnter(m_bodyBox->toPlainText(), m_searchBox->text()));
        m_searchBox->setFocus();
    });
}

void TyakuForm::createMailButtons()
{
    struct ViewerButton
    {
        QPushButton **button;
        const char *name;
        const char16_t *caption;
        QColor colour;
        int left, width;
        const char *picture;
        const char *pictureName;
    };
    const ViewerButton viewerButtons[] = {
        {&m_deleteOneButton, "Command3", u"    一件削除", QColor(255, 128, 255), 120, 1335, "Command3", "Picture7"},
        {&m_registerButton, "Command4", u"    アドレス帳登録", QColor(255, 192, 128), 1560, 1575, "Command4", "Picture10"},
        {&m_replyButton, "Command5", u"   返事を書く", QColor(128, 255, 255), 3240, 1455, "Command5", "Picture8"},
        {&m_deleteAllButton, "Command6", u"   全件削除", QColor(255, 0, 0), 4800, 1455, "Command6", "Picture9"},
    };
    for (const ViewerButton &b : viewerButtons) {
        QPushButton *button = colouredButton(m_client, b.name, QString::fromUtf16(b.caption), b.colour);
        place(button, b.left, 520, b.width, 375);
        // The small picture at the button's left end, where the caption's
        // leading blanks leave room; clicks go through it to the button.
        auto *picture = new QLabel(button);
        picture->setObjectName(QLatin1String(b.pictureName));
        picture->setAttribute(Qt::WA_TransparentForMouseEvents);
        picture->setGeometry(pixels(0, 40, 315, 315));
        picture->setPixmap(QPixmap(QStringLiteral(":/viewer/") + QLatin1String(b.picture) + QStringLiteral(".png")));
        picture->setScaledContents(true);
        *b.button = button;
    }
    connect(m_deleteOneButton, &QPushButton::clicked, this, &TyakuForm::Command3_Click);
    connect(m_deleteAllButton, &QPushButton::clicked, this, &TyakuForm::Command6_Click);
}

void TyakuForm::createReadingFields()
{
    m_model = new MailListModel(this);
    m_mailList = new QTreeView(m_client);
    m_mailList->setObjectName(QStringLiteral("MailListView"));
    m_mailList->setAccessibleName(QStringLiteral("受信メール一覧"));
    m_mailList->setRootIsDecorated(false);
    m_mailList->setItemsExpandable(false);
    m_mailList->setUniformRowHeights(true);
    m_mailList->setAllColumnsShowFocus(true);
    m_mailList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_mailList->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_mailList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_mailList->setTextElideMode(Qt::ElideNone);
    m_mailList->header()->setStretchLastSection(false);
    m_mailList->header()->setSectionsMovable(false);
    // The column heads press like buttons; the list is never sorted.
    m_mailList->header()->setSectionsClickable(true);
    m_mailList->setModel(m_model);
    place(m_mailList, 0, ListTop, ClientWidthTwips, 1815);
    // A row reached with the keyboard is shown as a click would show it, so
    // that the selected row and the shown mail never differ.
    connect(m_mailList->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) {
                if (current.isValid() && !m_pointerPressed && !m_filling)
                    MailListView_Click();
            });

    QFont boxFont(msPGothic());
    boxFont.setPointSizeF(9.75);
    m_subjectBox = textBox(m_client, "Text7", QStringLiteral("件名（Subject）"));
    m_senderBox = textBox(m_client, "Text8", QStringLiteral("差出人（From）"));
    m_dateBox = textBox(m_client, "Text9", QStringLiteral("日付（Date）"));
    for (QLineEdit *box : {m_subjectBox, m_senderBox, m_dateBox})
        box->setFont(boxFont);
    place(m_subjectBox, 0, 2760, 4695, HeaderBoxHeight);
    place(m_senderBox, 4680, 2760, 3015, HeaderBoxHeight);
    place(m_dateBox, 7695, 2760, 1680, HeaderBoxHeight);

    m_bodyBox = new QTextEdit(m_client);
    m_bodyBox->setObjectName(QStringLiteral("rtfEd"));
    m_bodyBox->setAccessibleName(QStringLiteral("本文（Body）"));
    m_bodyBox->setAcceptRichText(false);
    m_bodyBox->setLineWrapMode(QTextEdit::WidgetWidth);
    // A scroll bar that comes and goes would change the text's width and lay
    // a long body out twice whenever a mail of another length is shown.
    m_bodyBox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    place(m_bodyBox, 0, 3120, ClientWidthTwips, 3735);
}

void TyakuForm::createEditor()
{
    m_editor = new EditorCommands(this, m_bodyBox, EditorRole::Viewer, this);
    m_editor->populateMenuBar(m_menuBar);
    m_toolBar = m_editor->createToolBar(m_client);
    // Close-set buttons, so that the whole bar fits left of TextQuickSave.
    m_toolBar->setIconSize(QSize(16, 16));
    m_toolBar->setStyleSheet(QStringLiteral("QToolBar { spacing: 0px; padding: 0px; border: none; }"
                                            "QToolButton { padding: 1px; margin: 0px; }"));
    place(m_toolBar, 0, 0, 9015, 390);
    m_editor->setSaveAsText(
        [this] { return toDisplay(ComposeHeaderText(subjectText(), senderText(), dateText(), bodyText())); });
    connect(m_editor, &EditorCommands::closeRequested, this, &QWidget::close);
    connect(m_editor, &EditorCommands::findRequested, this, &TyakuForm::FindInBody);
    connect(m_editor, &EditorCommands::findNextRequested, this, &TyakuForm::FindNextInBody);
}

void TyakuForm::placeClientArea()
{
    const int top = m_menuBar->sizeHint().height();
    m_menuBar->setGeometry(0, 0, width(), top);
    m_client->setGeometry(0, top, width(), std::max(0, height() - top));
}

void TyakuForm::Form_Resize()
{
    m_headerCopyBox->show();
    m_quickSaveButton->show();

    const float W = pixelsToTwips(m_client->width());
    const float H = pixelsToTwips(m_client->height());
    // The status bar keeps to the bottom of the window, as a status bar does.
    place(m_statusBar, 0, int(H) - StatusBarHeight, int(W), StatusBarHeight);

    TyakuLayoutInput in;
    in.width = W;
    in.height = H;
    in.maximised = isMaximized();
    in.bodyLeft = int(pixelsToTwips(m_bodyBox->x()));
    in.command1Left = m_firstLayoutDone ? int(pixelsToTwips(m_headerCopyButton->x())) : DesignCopyButtonLeft;
    in.statusBarLeft = 0;
    in.statusBarTop = int(H) - StatusBarHeight;
    const TyakuLayout out = layOutTyakuForm(in);
    m_firstLayoutDone = true;

    place(m_mailList, 0, ListTop, out.listWidth, out.listHeight);
    place(m_toolStrip, 0, 0, out.stripWidth, 390);
    place(m_bodyBox, in.bodyLeft, out.bodyTop, out.bodyWidth, out.bodyHeight);
    place(m_subjectBox, out.subjectLeft, out.headerTop, out.subjectWidth, HeaderBoxHeight);
    place(m_senderBox, out.senderLeft, out.headerTop, out.senderWidth, HeaderBoxHeight);
    place(m_dateBox, out.dateLeft, out.headerTop, out.dateWidth, HeaderBoxHeight);
    place(m_headerCopyBox, out.copyBoxLeft, out.copyBoxTop, CopyBoxWidth, CopyBoxHeight);
    place(m_headerCopyButton, out.copyButtonLeft, out.copyButtonTop, CopyButtonWidth, CopyButtonHeight);
    m_headerCopyButton->raise();
    m_headerCopyBox->raise();
    m_helpBox->raise();
}

} // namespace viewer
