#include "viewer/ui/TyakuForm.h"

#include "common/FixedText.h"
#include "common/ProgramFolder.h"
#include "common/Prompts.h"
#include "common/TextHelpers.h"
#include "common/ui/HeaderColouring.h"
#include "editor/EditorState.h"
#include "editor/ui/EditorCommands.h"
#include "habitat/LitterTick.h"
#include "receive/MailCheckState.h"
#include "receive/MailStore.h"
#include "viewer/MailDeletion.h"
#include "viewer/MailListModel.h"
#include "viewer/ShownMailText.h"
#include "viewer/TyakuLayout.h"
#include "viewer/ViewerHelp.h"
#include "viewer/ui/MailCommands.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QStatusBar>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>

namespace viewer {

using common::InstallHeaderColouring;
using common::RemoveHeaderColouring;

namespace {

constexpr int ListTop = 960;
constexpr int HeaderBoxHeight = 375;
constexpr int StatusBarHeight = 375;
constexpr int CopyBoxWidth = 3735, CopyBoxHeight = 270;
constexpr int CopyButtonWidth = 2895, CopyButtonHeight = 255;
constexpr int DesignCopyButtonLeft = 1920;
constexpr int HelpBoxShownTop = 3600, HelpBoxHiddenTop = -4000;
constexpr int LoadedBodyLeft = 20, LoadedBodyTop = 3900;
// How often a list waiting for a check to end looks again.
constexpr int RefillPollMs = 100;

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

// A button that shows its own background colour, raised, and sunken while pressed.
void setButtonColour(QPushButton *button, const QColor &colour)
{
    button->setStyleSheet(QStringLiteral("QPushButton { background-color: %1; color: black; text-align: center;"
                                         " border: 2px outset %2; }"
                                         "QPushButton:pressed { border-style: inset; }"
                                         "QPushButton:focus { outline: none; border-color: %3; }")
                              .arg(colour.name(), colour.lighter(115).name(), colour.darker(140).name()));
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

// A header box shows its text from the start, however long it is.
void setBoxText(QLineEdit *box, const QString &text)
{
    box->setText(text);
    box->setCursorPosition(0);
}

// Texts hold CR LF line ends; the text boxes show a line break for each.
QString toDisplay(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return text;
}

} // namespace

TyakuForm::TyakuForm(TyakuHost host, QWidget *parent)
    : QWidget(parent, Qt::Window), m_host(std::move(host))
{
    setObjectName(QStringLiteral("TyakuForm"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("着信履歴"));

    m_menuBar = new QMenuBar(this);
    m_menuBar->setObjectName(QStringLiteral("menuBar"));
    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("ClientArea"));
    QPalette background = m_client->palette();
    background.setColor(QPalette::Window, QColor(224, 224, 224));
    m_client->setPalette(background);
    m_client->setAutoFillBackground(true);
    m_client->setMouseTracking(true);
    m_client->installEventFilter(this);

    createControls();
    m_refillTimer = new QTimer(this);
    m_refillTimer->setSingleShot(true);
    m_refillTimer->setInterval(RefillPollMs);
    connect(m_refillTimer, &QTimer::timeout, this, &TyakuForm::refillAfterCheck);
    resize(twipsToPixels(ClientWidthTwips), m_menuBar->sizeHint().height() + twipsToPixels(ClientHeightTwips));
    placeClientArea();

    installMailCommands(*this);
    Form_Load();
}

TyakuForm::~TyakuForm() = default;

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

    m_countLabel = new QLabel(QStringLiteral("件数"), m_client);
    m_countLabel->setObjectName(QStringLiteral("Label4"));
    place(m_countLabel, 6600, 620, 495, 255);
    m_countBox = textBox(m_client, "Text2", QStringLiteral("件数"));
    m_countBox->setReadOnly(true);
    place(m_countBox, 7200, 620, 495, 270);
    m_countLabel->setBuddy(m_countBox);
    connect(m_countBox, &QLineEdit::textChanged, this, &TyakuForm::Text2_Change);
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

void TyakuForm::Form_Load()
{
    habitat::litterTick().pause();
    if (m_countBox->text().isEmpty())
        m_countBox->setText(QStringLiteral("0"));
    const bool helpShown = m_host.helpDisplayTicked && m_host.helpDisplayTicked();
    m_helpBox->move(m_helpBox->x(), twipsToPixels(float(helpShown ? HelpBoxShownTop : HelpBoxHiddenTop)));
    m_helpBox->hide();

    const int listWidth = m_mailList->width();
    m_mailList->header()->resizeSection(MailListModel::SubjectColumn, listWidth / 2);
    m_mailList->header()->resizeSection(MailListModel::FromColumn, listWidth / 4);
    m_mailList->header()->resizeSection(MailListModel::DateColumn, listWidth / 4);

    InstallHeaderColouring(m_mailList);

    m_bodyBox->move(twipsToPixels(LoadedBodyLeft), twipsToPixels(LoadedBodyTop));
    loadEditorFile();
    m_bodyBox->show();
    m_search.reset();
}

void TyakuForm::loadEditorFile()
{
    EditorState &state = editorState();
    // Until the first "New" there is no editor file: nothing to load, no box.
    while (!state.CurrentEditorFile.isEmpty()) {
        bool ok = false;
        const QString text = common::readCp932TextFile(state.CurrentEditorFile, &ok);
        if (ok) {
            setBody(text);
            break;
        }
        // OK tries again, Cancel goes on without the file.
        if (!common::prompts().askOkCancel(QString(), QString::fromLatin1(common::ApplicationTitle)
                                                          + QStringLiteral("  Form_LoadError"),
                                           common::PromptIcon::Warning))
            break;
    }
    state.EditorChanged = false;
}

void TyakuForm::Text2_Change()
{
    if (m_host.showStoredCount)
        m_host.showStoredCount(m_countBox->text());
}

void TyakuForm::showEvent(QShowEvent *event)
{
    if (!m_placed) {
        m_placed = true;
        const QScreen *screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
        if (screen)
            move(screen->availableGeometry().center() - rect().center());
    }
    QWidget::showEvent(event);
}

void TyakuForm::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeClientArea();
    Form_Resize();
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

void TyakuForm::showReceivedMail(const QString &subject, const QString &sender, const QString &date,
                                 const QString &body)
{
    m_shown = ShownMail{0, subject, sender, date, body};
    m_handedOver = true;
    clearListSelection();
    clearSelectionMarker();
    setBoxText(m_subjectBox, subject);
    setBoxText(m_senderBox, sender);
    setBoxText(m_dateBox, date);
    setBody(body);
    if (m_listFilled)
        m_refillTimer->start();
}

void TyakuForm::refillAfterCheck()
{
    // The user may have chosen a mail since; that one stays.
    if (!m_handedOver)
        return;
    // The check goes on storing; the list is read once it has ended.
    if (receive::mailCheckRunning()) {
        m_refillTimer->start();
        return;
    }
    FillMailList();
}

void TyakuForm::clearListSelection()
{
    const QScopedValueRollback filling(m_filling, true);
    m_mailList->selectionModel()->clear();
}

void TyakuForm::appendToBody(const QString &text)
{
    QTextCursor cursor(m_bodyBox->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(toDisplay(text));
}

QString TyakuForm::subjectText() const
{
    return m_subjectBox->text();
}

QString TyakuForm::senderText() const
{
    return m_senderBox->text();
}

QString TyakuForm::dateText() const
{
    return m_dateBox->text();
}

QString TyakuForm::bodyText() const
{
    return m_bodyBox->toPlainText().replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
}

void TyakuForm::setBody(const QString &text)
{
    // Set with the page size held at zero, the new text is laid out anew as a
    // whole document: the first screenful at once and the rest in idle time,
    // rather than every line of a long body before the mail is shown.
    QTextDocument *document = m_bodyBox->document();
    const QSizeF page = document->pageSize();
    document->setPageSize(QSizeF(0, 0));
    m_bodyBox->setPlainText(toDisplay(text));
    document->setPageSize(page);
}

bool TyakuForm::selectionMarked() const
{
    return m_selectionMarker->text() == QLatin1String("1");
}

void TyakuForm::clearSelectionMarker()
{
    m_selectionMarker->clear();
}

int TyakuForm::selectedRecordNumber() const
{
    const QModelIndexList rows = m_mailList->selectionModel()->selectedRows();
    return rows.isEmpty() ? 0 : rows.first().row() + 1;
}

bool TyakuForm::shownMailSelected() const
{
    return m_shown.recordNumber > 0 && m_shown.recordNumber == selectedRecordNumber();
}

void TyakuForm::showStoreFailure(const QString &message)
{
    common::prompts().inform(message, QString(), common::PromptIcon::Warning);
}

void TyakuForm::FillMailList()
{
    const QScopedValueRollback filling(m_filling, true);
    m_listFilled = true;
    m_handedOver = false;
    m_shown = ShownMail{};
    m_model->clear();
    setBody(QString());
    receive::MailStore store;
    QList<receive::MailListEntry> entries = store.readMailList();
    if (!store.lastStatus().ok())
        showStoreFailure(store.lastStatus().message());
    if (!entries.isEmpty()) {
        // The list's fields come without the bodies; the last record was read
        // whole into the shared buffer, and only its body is shown.
        const receive::MailRecord &last = receive::CurrentMailRecord;
        showMail({int(entries.size()), last.subject, last.from, last.date, last.body});
    }
    const qsizetype rows = entries.size();
    m_model->setEntries(std::move(entries));
    // The last row is the mail the boxes now show.
    m_mailList->scrollToBottom();
    m_countBox->setText(QString::number(rows));
}

void TyakuForm::showMail(const ShownMail &mail)
{
    m_shown = ShownMail{mail.recordNumber, common::trimBlanks(mail.subject), common::trimBlanks(mail.from),
                        common::trimBlanks(mail.date), common::trimBlanks(mail.body)};
    m_handedOver = false;
    setBoxText(m_subjectBox, m_shown.subject);
    setBoxText(m_senderBox, m_shown.from);
    setBoxText(m_dateBox, m_shown.date);
    setBody(m_shown.body);
    ClipboardRoundTrip();
}

void TyakuForm::ClipboardRoundTrip()
{
    common::UserPrompts &desktop = common::prompts();
    const QString shown = bodyText();
    desktop.setClipboardText(shown);
    const QString back = common::trimBlanks(desktop.clipboardText());
    if (back != shown)
        setBody(back);
}

void TyakuForm::MailListView_Click()
{
    m_selectionMarker->setText(QStringLiteral("1"));
    if (m_countBox->text().toInt() == 0) {
        common::prompts().inform(QStringLiteral("選択するデータがありません。"));
        return;
    }
    const int n = selectedRecordNumber();
    if (n == 0)
        return;
    receive::MailStore store;
    const common::RecordRead read = store.GetMailRecord(n);
    if (read == common::RecordRead::Failed) {
        showStoreFailure(store.lastStatus().message());
        return;
    }
    if (read == common::RecordRead::PastEnd)
        return;
    const receive::MailRecord &shown = receive::CurrentMailRecord;
    showMail({n, shown.subject, shown.from, shown.date, shown.body});
}

void TyakuForm::Command3_Click()
{
    const QString notSelected = QStringLiteral("データが選択されていません");
    // Only the mail the boxes show, and only while it is the selected row.
    const int n = shownMailSelected() ? m_shown.recordNumber : 0;
    if (!selectionMarked() || n == 0) {
        common::prompts().inform(notSelected);
        return;
    }
    const bool yes = common::prompts().askYesNo(QStringLiteral("選択された（行、青色）データを削除します。よろしいですか"));
    m_bodyBox->setFocus();
    clearSelectionMarker();
    if (!yes) {
        setBody(QString());
        return;
    }
    const DeleteOutcome outcome = deleteStoredMail(n, m_model->rowCount());
    if (outcome == DeleteOutcome::Deleted)
        clearReadingFields();
    if (outcome != DeleteOutcome::Kept)
        FillMailList();
}

void TyakuForm::Command6_Click()
{
    if (!common::prompts().askYesNo(QStringLiteral("すべてのデータを削除して良いですか？")))
        return;
    const DeleteOutcome outcome = deleteAllStoredMail(m_model->rowCount());
    if (outcome == DeleteOutcome::KeptListStale)
        FillMailList();
    if (outcome != DeleteOutcome::Deleted)
        return;
    m_model->clear();
    m_shown = ShownMail{};
    m_handedOver = false;
    if (m_host.setMainHelpText)
        m_host.setMainHelpText(QStringLiteral("0"));
    m_countBox->setText(QStringLiteral("0"));
    clearReadingFields();
}

void TyakuForm::clearReadingFields()
{
    m_subjectBox->clear();
    m_senderBox->clear();
    m_dateBox->clear();
    setBody(QString());
}

void TyakuForm::FindInBody()
{
    selectMatch(m_search.find(m_bodyBox->toPlainText(), m_searchBox->text()));
}

void TyakuForm::FindNextInBody()
{
    selectMatch(m_search.findNext(m_bodyBox->toPlainText(), m_searchBox->text()));
}

void TyakuForm::selectMatch(const BodyMatch &match)
{
    if (!match.found())
        return;
    m_bodyBox->setFocus();
    QTextCursor cursor(m_bodyBox->document());
    cursor.setPosition(int(match.position - 1));
    cursor.setPosition(int(match.position - 1 + match.length), QTextCursor::KeepAnchor);
    m_bodyBox->setTextCursor(cursor);
}

void TyakuForm::showHelp(ViewerHelp topic)
{
    m_helpBox->show();
    m_helpBox->setPlainText(toDisplay(viewerHelpText(topic)));
}

void TyakuForm::pointerOverReadingArea(bool emptyHelp)
{
    m_helpBox->hide();
    if (emptyHelp)
        m_helpBox->clear();
    setButtonColour(m_headerCopyButton, QColor(128, 128, 128));
}

bool TyakuForm::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    const bool pointerMoved = type == QEvent::MouseMove || type == QEvent::Enter;
    if (pointerMoved && m_helpTopics.contains(watched)) {
        showHelp(m_helpTopics.value(watched));
    } else if (pointerMoved && (watched == m_mailList->viewport() || watched == m_mailList)) {
        pointerOverReadingArea(true);
    } else if (pointerMoved && watched == m_bodyBox->viewport()) {
        pointerOverReadingArea(false);
    } else if (type == QEvent::MouseMove && watched == m_client) {
        Form_Resize(); // Form_MouseMove
    } else if ((type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease
                || type == QEvent::MouseButtonDblClick)
               && watched == m_mailList->viewport()
               && static_cast<QMouseEvent *>(event)->button() != Qt::LeftButton) {
        // Only a left click chooses a mail; another button would move the
        // selection away from the mail the boxes show.
        return true;
    } else if (type == QEvent::MouseButtonPress && watched == m_mailList->viewport()) {
        m_pointerPressed = true;
    } else if (type == QEvent::MouseButtonRelease && watched == m_mailList->viewport()) {
        m_pointerPressed = false;
        if (static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton)
            MailListView_Click();
    }
    return QWidget::eventFilter(watched, event);
}

void TyakuForm::closeEvent(QCloseEvent *event)
{
    if (!m_unloaded) {
        m_unloaded = true;
        Form_QueryUnload();
        Form_Unload();
    }
    event->accept();
}

void TyakuForm::Form_QueryUnload()
{
    RemoveHeaderColouring(m_mailList);
}

void TyakuForm::Form_Unload()
{
    habitat::litterTick().resume();
}

} // namespace viewer
