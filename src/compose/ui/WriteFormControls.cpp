#include "compose/ui/WriteForm.h"

#include "addressbook/AddressListModel.h"
#include "compose/ui/AttachmentRow.h"
#include "compose/ui/RecipientBox.h"
#include "compose/ui/WriteForm_p.h"
#include "editor/ui/EditorCommands.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QListWidget>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTextEdit>
#include <QToolBar>

// The composer's controls: where each sits, what it is called and what its
// help text says.

namespace compose {

using namespace writeform;

namespace {

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

} // namespace

void WriteForm::createControls()
{
    createButtonFrame();
    createMailRows();
    createAttachmentRows();
    createBody();
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

    m_rowLabels = {toLabel, subjectLabel, greetingLabel};
}

void WriteForm::createAttachmentRows()
{
    const int labelLeft = 8;

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
    m_rowLabels.append(fortuneLabel);
}

void WriteForm::createBody()
{
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
}

void WriteForm::createAddressPane()
{
    addLabel(this, QStringLiteral("アドレス帳"), {PaneLeft, 56, 160, 18});
    m_addressModel = new addressbook::AddressListModel(this);
    m_addressList = new QListView(this);
    m_addressList->setObjectName(QStringLiteral("List1"));
    m_addressList->setAccessibleName(QStringLiteral("アドレス帳"));
    m_addressList->setModel(m_addressModel);
    m_addressList->setModelColumn(addressbook::AddressListModel::NameColumn);
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

} // namespace compose
