#include "compose/ui/WriteForm.h"

#include "common/FixedText.h"
#include "common/Prompts.h"
#include "common/TextHelpers.h"
#include "compose/Greetings.h"
#include "compose/Submission.h"
#include "compose/ui/AttachmentRow.h"
#include "editor/ui/EditorCommands.h"
#include "habitat/LitterTick.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScopeGuard>
#include <QScopedValueRollback>
#include <QTextEdit>
#include <QToolBar>

namespace compose {

// The recipient box: one line high with a scroll bar, and the user can type
// at most 60 characters into it. It holds one line: Return adds no line
// break and line breaks pasted or dropped into it are left out. Text the
// program puts there (an address of the book during a bulk send) is not cut.
class RecipientBox final : public QPlainTextEdit
{
public:
    static constexpr int TypingLimit = 60;

    explicit RecipientBox(QWidget *parent) : QPlainTextEdit(parent)
    {
        setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        setTabChangesFocus(true);
        connect(this, &QPlainTextEdit::textChanged, this, &RecipientBox::keepWithinLimit);
    }

    void setProgramText(const QString &text)
    {
        const QScopedValueRollback guard(m_programChange, true);
        setPlainText(text);
    }
    void insertProgramText(const QString &text)
    {
        const QScopedValueRollback guard(m_programChange, true);
        insertPlainText(text);
    }

protected:
    void keyPressEvent(QKeyEvent *event) override
    {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            event->ignore();
            return;
        }
        QPlainTextEdit::keyPressEvent(event);
    }
    void insertFromMimeData(const QMimeData *source) override
    {
        if (source->hasText())
            insertPlainText(common::withoutLineBreaks(source->text()));
    }

private:
    void keepWithinLimit()
    {
        if (m_programChange || toPlainText().size() <= TypingLimit)
            return;
        const QScopedValueRollback guard(m_programChange, true);
        // What was typed or pasted last is what goes over the limit: cut it at the caret.
        QTextCursor cursor = textCursor();
        const int over = int(toPlainText().size()) - TypingLimit;
        const int end = cursor.position();
        cursor.setPosition(qMax(0, end - over));
        cursor.setPosition(end, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
        setTextCursor(cursor);
    }

    bool m_programChange = false;
};

namespace {

int widthToggleCount = 0;

constexpr int px(int twips)
{
    return twips / 15;
}

const QColor White(255, 255, 255);
const QColor BulkListGreen(0, 128, 0);
const QColor BulkRecipientBlue(213, 239, 255);

constexpr int FormHeight = 590;           // pixels
constexpr int MailWidth = 440;            // the left part, pixels
constexpr int PaneLeft = 456;
constexpr int HelpPaneTop = 4600;         // twips, over the lower body
constexpr int HiddenHelpPaneTop = -4000;  // twips, out of sight

const QString CrLf = QStringLiteral("\r\n");

QString forDisplay(QString text)
{
    return text.replace(CrLf, QStringLiteral("\n"));
}

void setBase(QWidget *w, const QColor &colour)
{
    QPalette palette = w->palette();
    palette.setColor(QPalette::Base, colour);
    w->setPalette(palette);
}

QPushButton *addButton(QWidget *parent, const QString &caption, const char *name, const QRect &place)
{
    auto *button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(place);
    button->setAutoDefault(true);
    return button;
}

QLabel *addLabel(QWidget *parent, const QString &caption, const QRect &place)
{
    auto *label = new QLabel(caption, parent);
    label->setGeometry(place);
    return label;
}

// The small picture at the left end of a button; the caption's leading
// blanks leave room for it.
QLabel *addButtonPicture(QPushButton *button, const QString &resource, const char *name)
{
    auto *picture = new QLabel(button);
    picture->setObjectName(QString::fromLatin1(name));
    picture->setPixmap(QPixmap(resource));
    picture->setGeometry(5, (button->height() - 16) / 2, 16, 16);
    picture->setAttribute(Qt::WA_TransparentForMouseEvents);
    return picture;
}

// While a bulk send lets events through between two mails, input reaches
// only the window's stop button; the rest of the program waits.
class InputGate final : public QObject
{
public:
    explicit InputGate(QWidget *allowed) : m_allowed(allowed) { qApp->installEventFilter(this); }
    ~InputGate() override { qApp->removeEventFilter(this); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Wheel:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
            return watched->isWidgetType() && watched != m_allowed;
        default:
            return false;
        }
    }

private:
    QPointer<QWidget> m_allowed;
};

} // namespace

WriteForm::WriteForm(bool helpDisplay, QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("WriteForm"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("新規作成"));
    createControls();
    setOuterWidth(FullWidthTwips);
    Form_Load(helpDisplay);

    m_submission = new Submission(false, this);
    connect(m_submission, &Submission::sending, this, [this](int pass, int total, const SendTarget &target) {
        if (!bulkMode())
            return;
        m_recipientBox->setProgramText(target.address);
        m_statusLabel->setText(sendingText(pass, total));
    });
    connect(m_submission, &Submission::done, this, [this](const SendResult &result) {
        // Each mail carries its own fortune; the body box shows the one just sent.
        if (m_fortuneBox->isChecked())
            setBodyText(result.body);
    });

    // The window opens with the cursor in "宛先". "送信" never takes Return
    // and a click does not leave the focus on it; Tab and Space still reach it.
    m_sendButton->setAutoDefault(false);
    m_sendButton->setFocusPolicy(Qt::TabFocus);
    m_recipientBox->setFocus(Qt::OtherFocusReason);
}

WriteForm::~WriteForm() = default;

void WriteForm::createControls()
{
    createButtonFrame();
    createMailRows();
    createAddressPane();
    createEditor();
    registerHelpTexts();
}

void WriteForm::createEditor()
{
    // The shared editor's menus and tool bar, as the composer has them: no
    // save-as and no search, and the body never marks the editor file changed.
    m_editor = new viewer::EditorCommands(this, m_body, viewer::EditorRole::Composer, this);
    m_menuBar = new QMenuBar(this);
    m_menuBar->setGeometry(0, 0, PaneLeft + 200, 22);
    m_editor->populateMenuBar(m_menuBar);
    m_toolBar = m_editor->createToolBar(this);
    m_toolBar->setGeometry(0, 22, PaneLeft + 200, 30);
    connect(m_editor, &viewer::EditorCommands::closeRequested, this, &QWidget::close);
}

void WriteForm::createButtonFrame()
{
    m_buttonFrame = new QFrame(this);
    m_buttonFrame->setObjectName(QStringLiteral("Frame1"));
    m_buttonFrame->setFrameShape(QFrame::StyledPanel);
    m_buttonFrame->setGeometry(6, 54, MailWidth, 66);
    m_buttonFrame->setMouseTracking(true);
    m_buttonFrame->installEventFilter(this);

    m_sendButton = addButton(m_buttonFrame, QStringLiteral("送信"), "Command1", {6, 5, 136, 26});
    m_cancelButton = addButton(m_buttonFrame, QStringLiteral("送信中止"), "Command3", {148, 5, 136, 26});
    m_widthButton = addButton(m_buttonFrame, QStringLiteral("     サイズ（小）"), "Command6", {290, 5, 140, 26});
    m_pasteBodyButton = addButton(m_buttonFrame, QStringLiteral("     本文に貼付"), "Command5", {6, 35, 136, 26});
    m_resetButton = addButton(m_buttonFrame, QStringLiteral("   クリア"), "Command11", {148, 35, 136, 26});
    m_pasteRecipientButton =
        addButton(m_buttonFrame, QStringLiteral("     宛先に貼付"), "Command7", {290, 35, 140, 26});

    addButtonPicture(m_widthButton, QStringLiteral(":/compose/Command6.png"), "Image6");
    addButtonPicture(m_pasteBodyButton, QStringLiteral(":/compose/Command5.png"), "Image5");
    addButtonPicture(m_resetButton, QStringLiteral(":/compose/Command11.png"), "Image11");
    // The picture on "宛先に貼付" hides the help pane, as the body does; a
    // press on it still presses the button.
    m_pasteRecipientPicture = addButtonPicture(m_pasteRecipientButton, QStringLiteral(":/compose/Command7.png"), "Image7");
    m_pasteRecipientPicture->setAttribute(Qt::WA_TransparentForMouseEvents, false);
    m_pasteRecipientPicture->setMouseTracking(true);
    m_pasteRecipientPicture->installEventFilter(this);

    connect(m_sendButton, &QPushButton::clicked, this, &WriteForm::Command1_Click);
    connect(m_cancelButton, &QPushButton::clicked, this, &WriteForm::Command3_Click);
    connect(m_widthButton, &QPushButton::clicked, this, &WriteForm::Command6_Click);
    connect(m_pasteBodyButton, &QPushButton::clicked, this, &WriteForm::Command5_Click);
    connect(m_resetButton, &QPushButton::clicked, this, &WriteForm::Command11_Click);
    connect(m_pasteRecipientButton, &QPushButton::clicked, this, &WriteForm::Command7_Click);
}

void WriteForm::createMailRows()
{
    const int labelLeft = 8, boxLeft = 64, boxWidth = MailWidth - 58;

    m_recipientBox = new RecipientBox(this);
    m_recipientBox->setObjectName(QStringLiteral("ToText"));
    m_recipientBox->setGeometry(boxLeft, 126, boxWidth, 24);
    QLabel *toLabel = addLabel(this, QStringLiteral("宛先"), {labelLeft, 129, 52, 18});
    toLabel->setBuddy(m_recipientBox);
    m_recipientBox->setAccessibleName(QStringLiteral("宛先"));

    m_subjectBox = new QLineEdit(this);
    m_subjectBox->setObjectName(QStringLiteral("SubjectText"));
    m_subjectBox->setGeometry(boxLeft, 154, boxWidth, 22);
    QLabel *subjectLabel = addLabel(this, QStringLiteral("件名"), {labelLeft, 156, 52, 18});
    subjectLabel->setBuddy(m_subjectBox);

    m_greetingBox = new QComboBox(this);
    m_greetingBox->setObjectName(QStringLiteral("Combo1"));
    m_greetingBox->setEditable(true);
    m_greetingBox->setInsertPolicy(QComboBox::NoInsert);
    m_greetingBox->setGeometry(boxLeft, 180, boxWidth, 22);
    m_greetingBox->installEventFilter(this);
    connect(m_greetingBox, &QComboBox::currentTextChanged, this, [this] { m_greetingChosen = true; });
    QLabel *greetingLabel = addLabel(this, QStringLiteral("首記例"), {labelLeft, 182, 52, 18});
    greetingLabel->setBuddy(m_greetingBox);
    m_greetingBox->setAccessibleName(QStringLiteral("首記例"));

    m_attachments = new AttachmentRow(this, QStringLiteral("添付File"), AttachmentRow::ListToggle::Present);
    m_attachments->attachButton()->setGeometry(labelLeft, 206, 70, 24);
    m_attachments->addButton()->setGeometry(80, 206, 44, 24);
    m_attachments->clearButton()->setGeometry(126, 206, 62, 24);
    m_attachments->pathBox()->setGeometry(192, 207, 192, 22);
    m_attachments->listToggleButton()->setGeometry(388, 206, 58, 24);
    m_attachments->titleList()->setGeometry(192, 230, 192, 110);

    auto *fortuneNote = addLabel(this, QStringLiteral("★　親しい人に占いを添付する　★ （一括送信では使用不可）"),
                                 {labelLeft, 236, 330, 18});
    fortuneNote->setObjectName(QStringLiteral("Label3"));
    m_fortuneBox = new QCheckBox(this);
    m_fortuneBox->setObjectName(QStringLiteral("Check1"));
    m_fortuneBox->setGeometry(424, 236, 18, 18);
    QLabel *fortuneLabel = addLabel(this, QStringLiteral("占い添付"), {364, 236, 58, 18});
    fortuneLabel->setBuddy(m_fortuneBox);
    m_fortuneBox->setAccessibleName(QStringLiteral("占い添付"));

    m_body = new QTextEdit(this);
    m_body->setObjectName(QStringLiteral("rtfEd"));
    m_body->setAccessibleName(QStringLiteral("本文"));
    m_body->setAcceptRichText(false);
    m_body->setGeometry(6, 260, MailWidth, FormHeight - 260 - 28);
    m_body->setMouseTracking(true);
    m_body->viewport()->setMouseTracking(true);
    m_body->viewport()->installEventFilter(this);
    m_attachments->titleList()->raise();

    m_helpPane = new QPlainTextEdit(this);
    m_helpPane->setObjectName(QStringLiteral("Text14"));
    m_helpPane->setAccessibleName(QStringLiteral("ヘルプ"));
    m_helpPane->setReadOnly(true);

    auto *strip = new QLabel(this);
    strip->setFrameShape(QFrame::Panel);
    strip->setFrameShadow(QFrame::Sunken);
    strip->setGeometry(0, FormHeight - 24, PaneLeft + 200, 24);
    m_statusLabel = new QLabel(this);
    m_statusLabel->setObjectName(QStringLiteral("Label7"));
    m_statusLabel->setGeometry(6, FormHeight - 22, MailWidth, 20);

    m_rowLabels = {toLabel, subjectLabel, greetingLabel, fortuneLabel};
}

void WriteForm::createAddressPane()
{
    addLabel(this, QStringLiteral("アドレス帳"), {PaneLeft, 56, 160, 18});
    m_addressList = new QListWidget(this);
    m_addressList->setObjectName(QStringLiteral("List1"));
    m_addressList->setAccessibleName(QStringLiteral("アドレス帳"));
    m_addressList->setGeometry(PaneLeft, 76, 160, 400);
    m_addressList->setUniformItemSizes(true);
    // Names carry their stored trailing blanks; there is nothing to scroll to.
    m_addressList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_addressList->setTextElideMode(Qt::ElideNone);
    m_addressList->setSelectionMode(QAbstractItemView::SingleSelection);
    m_addressList->setAutoFillBackground(true);
    m_addressList->viewport()->installEventFilter(this);
    connect(m_addressList, &QAbstractItemView::pressed, this, &WriteForm::List1_MouseDown);
    // Enter on an entry does what a press does, for use without a mouse.
    connect(m_addressList, &QAbstractItemView::activated, this, &WriteForm::List1_MouseDown);

    m_countBox = new QLineEdit(this);
    m_countBox->setObjectName(QStringLiteral("Text1"));
    m_countBox->setReadOnly(true);
    m_countBox->setAlignment(Qt::AlignRight);
    m_countBox->setGeometry(PaneLeft + 40, 482, 60, 22);
    addLabel(this, QStringLiteral("件数"), {PaneLeft, 484, 36, 18})->setBuddy(m_countBox);

    // Both options are as wide as their circle; the labels beside them carry the text.
    m_bulkOffOption = new QRadioButton(this);
    m_bulkOffOption->setObjectName(QStringLiteral("Option1"));
    m_bulkOffOption->setAutoExclusive(false);
    m_bulkOffOption->setGeometry(PaneLeft, 512, 18, 18);
    m_bulkOffOption->setAccessibleName(QStringLiteral("取消"));
    addLabel(this, QStringLiteral("取消"), {PaneLeft + 20, 512, 60, 18})->setBuddy(m_bulkOffOption);
    m_bulkOnOption = new QRadioButton(this);
    m_bulkOnOption->setObjectName(QStringLiteral("Option2"));
    m_bulkOnOption->setAutoExclusive(false);
    m_bulkOnOption->setGeometry(PaneLeft, 536, 18, 18);
    m_bulkOnOption->setAccessibleName(QStringLiteral("一括送信"));
    addLabel(this, QStringLiteral("一括送信"), {PaneLeft + 20, 536, 80, 18})->setBuddy(m_bulkOnOption);
    // A click on the option that is already selected changes nothing, as with
    // any option button; the handlers run only when one becomes selected.
    connect(m_bulkOffOption, &QRadioButton::clicked, this, [this](bool checked) {
        if (checked)
            Option1_Click();
        else
            m_bulkOffOption->setChecked(true);
    });
    connect(m_bulkOnOption, &QRadioButton::clicked, this, [this](bool checked) {
        if (checked)
            Option2_Click();
        else
            m_bulkOnOption->setChecked(true);
    });
}

void WriteForm::registerHelpTexts()
{
    const QString greetingHelp = QStringLiteral(
        "本文の冒頭に例文を貼り付けます。プルダウンから選択し、本文をクリックすると内容が貼り付けられます。");
    m_helpTexts = {
        {m_sendButton,
         QStringLiteral("送信します。電話回線が接続されていない場合は、自動的に接続してメールを送信します。")},
        {m_cancelButton, QStringLiteral("送信を中止します。")},
        {m_fortuneBox, QStringLiteral("コンピュータがアトランダムにチョイスする占いを本文後に添付します。")},
        {m_attachments->attachButton(),
         QStringLiteral("各種ファイルを添付して送信できます。１個の添付ファイルの際に使用します。") + CrLf
             + QStringLiteral("２個目からは「追加」ボタンをクリックして下さい。一覧リストが表示されます。送信メール１件"
                              "について１０個までの送信が可能です。")
             + CrLf + QStringLiteral("添付ファイルを中止したい時は「取り消し」ボタンをクリック！") + CrLf
             + QStringLiteral("添付ファイルを複数選択した際に表示される一覧リストが邪魔なときは「リスト」をクリックして"
                              "下さい。一覧リストの一時的な表示・非表示が出来ます。表示・非表示を行うだけで、選択した"
                              "ファイルが取り消される訳ではありません。")},
        {m_attachments->addButton(),
         QStringLiteral("添付ファイルを複数送信する際に使用します。確認しやすいように、リストボックスが表示されます。")},
        {m_attachments->clearButton(), QStringLiteral("添付ファイルの内容をクリアします。")},
        {m_attachments->listToggleButton(),
         QStringLiteral("添付ファイルを複数選択した際、リストが自動的に表示されます。このリストの表示、非表示を操作"
                        "します。リストが非表示になっても、選択したファイルがクリアされた訳ではありません。クリアする"
                        "場合は「取り消し」か「クリア」をクリックして下さい。")},
        {m_pasteBodyButton, QStringLiteral("コピーした内容を本文に貼り付けますコピーは本ソフト、あるいは別のアプリからで"
                                           "も可能です。")},
        {m_pasteRecipientButton, QStringLiteral("コピーした内容を宛先に貼り付けます。コピーは本ソフト、あるいは別のアプ"
                                                "リからでも可能です。")},
        {m_widthButton, QStringLiteral("アドレス帳を含むサイズから、元のサイズに戻します。")},
        {m_resetButton, QStringLiteral("宛先、件名、本文他、設定等が初期状態に戻せます。")},
        {m_bulkOnOption, QStringLiteral("アドレス帳に登録しているメールアドレスすべてに同様の件名、本文で送信します。")
                             + CrLf + CrLf
                             + QStringLiteral("件名、本文入力完了後、送信ボタンをクリックして下さい。")},
    };
    for (QLabel *label : std::as_const(m_rowLabels))
        m_helpTexts.insert(label, greetingHelp);
    for (auto it = m_helpTexts.cbegin(); it != m_helpTexts.cend(); ++it) {
        auto *control = static_cast<QWidget *>(it.key());
        control->setMouseTracking(true);
        // The pointer over a button is not also over the frame around it.
        control->setAttribute(Qt::WA_NoMousePropagation);
        control->installEventFilter(this);
    }
}

void WriteForm::Form_Load(bool helpDisplay)
{
    habitat::litterTick().pause();
    setBase(m_addressList, White);
    setBase(m_recipientBox, White);
    m_attachments->titleList()->hide();
    m_recordNumbers.clear();
    m_greetingBox->addItems(greetingPhrases());
    m_greetingBox->setCurrentIndex(-1);
    m_greetingBox->clearEditText();
    m_greetingChosen = false;

    m_helpPane->setGeometry(6, px(helpDisplay ? HelpPaneTop : HiddenHelpPaneTop), MailWidth, 150);
    m_helpPane->setVisible(helpDisplay);

    // The book is read in one pass; a missing book is created empty.
    m_addressList->clear();
    if (const common::StoreStatus status = m_store.createIfMissing(); !status)
        common::prompts().inform(status.message(), QString(), common::PromptIcon::Warning);
    const QStringList names = m_store.readAllNames();
    if (const common::StoreStatus &status = m_store.lastStatus(); !status)
        common::prompts().inform(status.message(), QString(), common::PromptIcon::Warning);
    m_recordNumbers.reserve(names.size());
    for (qsizetype i = 0; i < names.size(); ++i)
        m_recordNumbers.append(int(i + 1));
    m_addressList->addItems(names);
    m_countBox->setText(QString::number(m_addressList->count()));
}

void WriteForm::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    habitat::litterTick().resume();
}

void WriteForm::closeEvent(QCloseEvent *event)
{
    // The close box during a bulk send stops it after the mail on its way.
    if (m_sending) {
        m_submission->requestStop();
        event->ignore();
        return;
    }
    Form_Unload();
    event->accept();
}

void WriteForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // The frame's size is known once the window is on the screen.
    setOuterWidth(m_outerWidthTwips);
}

bool WriteForm::bulkMode() const
{
    return m_bulkOnOption->isChecked();
}

int WriteForm::widthToggleClicks()
{
    return widthToggleCount;
}

void WriteForm::resetWidthToggleClicks()
{
    widthToggleCount = 0;
}

// --- sending ---------------------------------------------------------------

void WriteForm::Command1_Click()
{
    if (m_sending)
        return;
    m_attachments->prepareForSend();
    m_statusLabel->setText(QString::fromUtf16(SendingText));

    OutgoingDraft draft;
    draft.subject = m_subjectBox->text();
    draft.body = m_body->toPlainText();
    draft.attachments = m_attachments->attachmentPaths();
    draft.withFortune = m_fortuneBox->isChecked();
    // Sending drops any character formatting of the body.
    setBodyText(draft.body);

    const bool allSent = bulkMode() ? sendToWholeBook(draft) : sendOneMail(draft);
    if (allSent)
        finishSent();
}

bool WriteForm::showRefusal(const Submission::Outcome &outcome)
{
    if (!outcome.refused())
        return false;
    common::prompts().inform(outcome.refusal);
    m_statusLabel->clear();
    return true;
}

bool WriteForm::sendOneMail(const OutgoingDraft &draft)
{
    // The recipient goes to the mail layer exactly as typed.
    m_submission->setStoppable(false);
    setSendingState(true);
    const Submission::Outcome outcome =
        m_submission->send(draft, {SendTarget{0, m_recipientBox->toPlainText()}}, Submission::Scope::Everyone);
    setSendingState(false);
    if (showRefusal(outcome))
        return false;
    if (outcome.complete())
        return true;
    common::prompts().inform(outcome.failures.value(0).error, QStringLiteral("送信エラー"));
    // Nothing of the mail is lost: the window keeps what the user wrote.
    setBodyText(draft.body);
    m_statusLabel->setText(QStringLiteral("送信できませんでした。内容を確かめて、もう一度送信して下さい。"));
    return false;
}

bool WriteForm::chooseBulkScope(const QList<SendTarget> &targets, Submission::Scope *scope)
{
    *scope = Submission::Scope::NotYetServed;
    const int served = m_submission->servedAmong(targets);
    if (served == 0)
        return true;
    const int total = int(targets.size());
    common::UserPrompts &prompts = common::prompts();
    if (served < total
        && prompts.askYesNo(QStringLiteral("このメールは、%1 件中 %2 件には送信済みです。").arg(total).arg(served) + CrLf
                                + CrLf
                                + QStringLiteral("まだ送信していない %1 件だけに送信しますか？").arg(total - served),
                            QStringLiteral("確認"), common::PromptIcon::Question))
        return true;
    if (prompts.askOkCancel(QStringLiteral("送信済みの %1 件にも、もう一度同じメールを送信します。").arg(served) + CrLf
                                + QStringLiteral("よろしいですか？"),
                            QStringLiteral("確認"), common::PromptIcon::Question)) {
        *scope = Submission::Scope::Everyone;
        return true;
    }
    m_statusLabel->setText(QStringLiteral("送信しませんでした。"));
    return false;
}

bool WriteForm::sendToWholeBook(const OutgoingDraft &draft)
{
    common::StoreStatus status;
    const QList<SendTarget> targets = bulkTargets(m_store, m_addressList->count(), &status);
    if (!status) {
        common::prompts().inform(status.message(), QStringLiteral("送信エラー"), common::PromptIcon::Warning);
        m_statusLabel->clear();
        return false;
    }
    if (targets.isEmpty()) {
        common::prompts().inform(
            QStringLiteral("アドレス帳にメールアドレスが登録されていないため、送信しませんでした。"));
        m_statusLabel->clear();
        return false;
    }
    Submission::Scope scope;
    if (!chooseBulkScope(targets, &scope))
        return false;

    m_submission->setStoppable(true);
    setSendingState(true);
    Submission::Outcome outcome;
    {
        // The stop button is taken even while a mail is on its way; the stop
        // itself comes between two mails.
        InputGate gate(m_cancelButton);
        outcome = m_submission->send(draft, targets, scope);
    }
    setSendingState(false);
    if (showRefusal(outcome))
        return false;
    if (outcome.complete())
        return true;

    // What did not go out stays in the window, ready to be sent again.
    setBodyText(draft.body);
    m_recipientBox->setProgramText(QString());
    common::prompts().inform(outcome.summary(), QStringLiteral("送信エラー"));
    const int missing = int(outcome.failures.size()) + outcome.unsent;
    m_statusLabel->setText(
        QStringLiteral("%1 件中 %2 件を送信しました。もう一度「送信」を押すと、まだ送信していない %3 件だけに送信します。")
            .arg(outcome.total)
            .arg(outcome.sent)
            .arg(missing));
    return false;
}

void WriteForm::setSendingState(bool sending)
{
    m_sending = sending;
    if (sending) {
        m_disabledWhileSending.clear();
        // Everything but the stop button waits until the send is over.
        const QList<QWidget *> children = findChildren<QWidget *>();
        for (QWidget *w : children) {
            if (w == m_cancelButton || w == m_buttonFrame || !w->isEnabled() || w->parentWidget() != this)
                continue;
            w->setEnabled(false);
            m_disabledWhileSending.append(w);
        }
        for (QPushButton *b : m_buttonFrame->findChildren<QPushButton *>()) {
            if (b != m_cancelButton && b->isEnabled()) {
                b->setEnabled(false);
                m_disabledWhileSending.append(b);
            }
        }
    } else {
        for (const QPointer<QWidget> &w : std::as_const(m_disabledWhileSending))
            if (w)
                w->setEnabled(true);
        m_disabledWhileSending.clear();
    }
}

void WriteForm::finishSent()
{
    m_statusLabel->setText(QString::fromUtf16(SentText));
    m_recipientBox->setProgramText(QString());
    m_subjectBox->clear();
    m_body->clear();
    m_fortuneBox->setChecked(false);
    m_attachments->pathBox()->clear();
    m_bulkOnOption->setChecked(false);
    close();
}

void WriteForm::Command3_Click()
{
    if (m_sending) {
        m_submission->requestStop();
        m_statusLabel->setText(QStringLiteral("送信を中止しています。送信中のメールが終わるまでお待ち下さい。"));
        return;
    }
    close();
}

// --- address pane and the small buttons ------------------------------------

void WriteForm::List1_MouseDown()
{
    const int row = m_addressList->currentRow();
    if (row < 0 || !m_addressList->currentItem() || !m_addressList->currentItem()->isSelected()) {
        common::prompts().inform(QStringLiteral("データが選択されていません"), QString(), common::PromptIcon::Warning);
        m_addressList->setFocus();
        return;
    }
    const common::RecordRead read = m_store.GetAddressRecord(m_recordNumbers.value(row));
    if (read == common::RecordRead::Failed) {
        common::prompts().inform(m_store.lastStatus().message(), QString(), common::PromptIcon::Warning);
        return;
    }
    if (read != common::RecordRead::Read)
        return; // the entry has gone from the book since the list was read
    m_recipientBox->setProgramText(common::trimBlanks(addressbook::CurrentAddressRecord.address.left(60)));
}

void WriteForm::Option2_Click()
{
    m_bulkOnOption->setChecked(true);
    m_bulkOffOption->setChecked(false);
    m_recipientBox->setProgramText(QString());
    m_recipientBox->setEnabled(false);
    setRecipientBoxLook(true);
    setAddressListColour(true);
    const bool yes = common::prompts().askYesNo(
        QStringLiteral("アドレス帳に登録しているメールアドレスすべてに同様の件名、本文で送信します。") + CrLf + CrLf
            + QStringLiteral("件名、本文入力完了後、送信ボタンをクリックして下さい。"),
        QStringLiteral("確認"), common::PromptIcon::Question);
    if (yes)
        return;
    setAddressListColour(false);
    setRecipientBoxLook(false);
    m_bulkOnOption->setChecked(false);
}

void WriteForm::Option1_Click()
{
    m_bulkOffOption->setChecked(true);
    m_bulkOnOption->setChecked(false);
    m_recipientBox->setProgramText(QString());
    setAddressListColour(false);
    m_recipientBox->setEnabled(true);
    setRecipientBoxLook(false);
}

void WriteForm::Command6_Click()
{
    setAddressListColour(false);
    if (widthToggleCount % 2 == 0) {
        m_widthButton->setText(QStringLiteral("　　サイズ大"));
        setOuterWidth(NarrowWidthTwips);
    } else {
        m_widthButton->setText(QStringLiteral("　　サイズ小"));
        setOuterWidth(FullWidthTwips);
    }
    ++widthToggleCount;
}

void WriteForm::Command11_Click()
{
    // A new mail: nobody has had it yet.
    m_submission->forgetServed();
    m_recipientBox->setProgramText(QString());
    m_subjectBox->clear();
    m_body->clear();
    m_bulkOnOption->setChecked(false);
    m_attachments->clear();
    m_fortuneBox->setChecked(false);
    setAddressListColour(false);
    setRecipientBoxLook(false);
}

bool WriteForm::fillFromLink(const QString &to, const QString &subject, const QString &body)
{
    if (m_sending)
        return false;
    const bool begun = !m_recipientBox->toPlainText().isEmpty() || !m_subjectBox->text().isEmpty()
                       || !m_body->toPlainText().isEmpty();
    if (begun
        && !common::prompts().askYesNo(
            QStringLiteral("書きかけのメールを、リンクの宛先・件名・本文で置き換えますか？")))
        return false;
    m_recipientBox->setProgramText(to);
    m_subjectBox->setText(subject);
    setBodyText(body);
    m_body->setFocus();
    return true;
}

void WriteForm::Command5_Click()
{
    m_body->textCursor().insertText(common::trimBlanks(common::prompts().clipboardText()));
    m_body->setFocus();
}

void WriteForm::Command7_Click()
{
    m_recipientBox->insertProgramText(
        common::trimBlanks(common::withoutLineBreaks(common::prompts().clipboardText())));
    m_recipientBox->setFocus();
}

void WriteForm::Combo1_LostFocus()
{
    // Only a greeting the user chose (or typed) since the box last had its say
    // goes in; it is put at the head of the body, before what is there, as
    // one step the body's undo takes back.
    const QString greeting = m_greetingBox->currentText();
    if (!m_greetingChosen || greeting.isEmpty())
        return;
    m_greetingChosen = false;
    QTextCursor cursor(m_body->document());
    cursor.movePosition(QTextCursor::Start);
    cursor.beginEditBlock();
    cursor.insertText(m_body->document()->isEmpty() ? greeting : greeting + QLatin1Char('\n'));
    cursor.endEditBlock();
    m_body->setTextCursor(cursor);
}

// --- helpers ---------------------------------------------------------------

void WriteForm::setBodyText(const QString &text)
{
    m_body->setPlainText(forDisplay(text));
}

void WriteForm::setOuterWidth(int twips)
{
    m_outerWidthTwips = twips;
    const int frameExtra = frameGeometry().width() - geometry().width();
    const QSize size(px(twips) - frameExtra, FormHeight);
    if (size != this->size() || minimumSize() != size || maximumSize() != size)
        setFixedSize(size);
}

void WriteForm::setRecipientBoxLook(bool bulk)
{
    setBase(m_recipientBox, bulk ? BulkRecipientBlue : White);
}

void WriteForm::setAddressListColour(bool bulk)
{
    setBase(m_addressList, bulk ? BulkListGreen : White);
}

void WriteForm::showHelp(QObject *control)
{
    const auto it = m_helpTexts.constFind(control);
    if (it == m_helpTexts.cend())
        return;
    m_helpPane->setPlainText(forDisplay(it.value()));
    m_helpPane->show();
    m_helpPane->raise();
}

bool WriteForm::eventFilter(QObject *watched, QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseMove:
    case QEvent::Enter:
        if (watched == m_body->viewport() || watched == m_buttonFrame || watched == m_pasteRecipientPicture)
            m_helpPane->hide();
        else
            showHelp(watched);
        break;
    case QEvent::MouseButtonPress:
        if (watched == m_pasteRecipientPicture) {
            m_pasteRecipientButton->click();
            return true;
        }
        // A press beside the entries of the address list still takes the selected one.
        if (watched == m_addressList->viewport()) {
            const auto *press = static_cast<QMouseEvent *>(event);
            if (!m_addressList->indexAt(press->position().toPoint()).isValid())
                List1_MouseDown();
        }
        break;
    case QEvent::FocusOut:
        if (watched == m_greetingBox) {
            // Opening the drop-down or switching to another program is not leaving the box.
            const auto reason = static_cast<QFocusEvent *>(event)->reason();
            if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason)
                Combo1_LostFocus();
        }
        break;
    default:
        break;
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace compose
