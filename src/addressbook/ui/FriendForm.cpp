#include "addressbook/ui/FriendForm.h"

#include "addressbook/AddressListModel.h"
#include "addressbook/BusinessCard.h"
#include "common/FixedText.h"
#include "common/Prompts.h"
#include "habitat/LitterTick.h"

#include "common/ui/HeaderColouring.h"

#include <QCloseEvent>
#include <QEvent>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTreeView>

namespace addressbook {

namespace {

constexpr int px(int twips)
{
    return twips / 15;
}

QRect twips(int left, int top, int width, int height)
{
    return {px(left), px(top), px(width), px(height)};
}

const QString NothingSelectedText = QStringLiteral("データが選択されていません");

QString forDisplay(QString text)
{
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
}

QLabel *addLabel(QWidget *form, const QString &caption, const QRect &place, QWidget *buddy = nullptr)
{
    auto *label = new QLabel(caption, form);
    label->setGeometry(place);
    if (buddy)
        label->setBuddy(buddy);
    return label;
}

QLineEdit *addBox(QWidget *form, const char *name, const QRect &place)
{
    auto *box = new QLineEdit(form);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(place);
    return box;
}

QPushButton *addButton(QWidget *form, const QString &caption, const char *name, const QRect &place)
{
    auto *button = new QPushButton(caption, form);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(place);
    button->setAutoDefault(true);
    return button;
}

constexpr int FormWidth = 7440;
constexpr int FormHeight = 6480;
constexpr int ListTop = 2640;
constexpr int ListHeight = 3360;
constexpr int HelpTop = 3240;
constexpr int HiddenHelpTop = -4000;

} // namespace

FriendForm::FriendForm(bool helpDisplay, QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("FriendForm"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("アドレス帳"));
    setFixedSize(px(FormWidth), px(FormHeight));
    setMouseTracking(true);
    createControls();
    Form_Load(helpDisplay);
}

FriendForm::~FriendForm() = default;

void FriendForm::createControls()
{
    createFields();
    createList();
    createHelpAndStatus();
    connectControls();
    registerHelpTexts();
}

void FriendForm::createFields()
{
    m_addressBox = addBox(this, "Text4", twips(1560, 120, 4400, 330));
    addLabel(this, QStringLiteral("メールアドレス"), twips(120, 150, 1400, 300), m_addressBox);
    m_pasteAddressButton = addButton(this, QStringLiteral("貼付"), "Command1", twips(6060, 105, 1260, 360));
    m_pasteAddressButton->setAccessibleName(QStringLiteral("メールアドレスに貼付"));

    m_nameBox = addBox(this, "Text2", twips(1560, 600, 4400, 330));
    addLabel(this, QStringLiteral("名前（名称）"), twips(120, 630, 1400, 300), m_nameBox);
    m_pasteNameButton = addButton(this, QStringLiteral("貼付"), "Command5", twips(6060, 585, 1260, 360));
    m_pasteNameButton->setAccessibleName(QStringLiteral("名前に貼付"));

    m_cardBox = addBox(this, "Text50", twips(1560, 1080, 4400, 330));
    addLabel(this, QStringLiteral("名刺"), twips(120, 1110, 1400, 300), m_cardBox);
    m_cardButton = addButton(this, QStringLiteral("名刺挿入"), "Command38", twips(6060, 1065, 1260, 360));

    m_registerButton = addButton(this, QStringLiteral("登録"), "Command3", twips(120, 1560, 1300, 420));
    m_countBox = addBox(this, "Text3", twips(2460, 1605, 700, 330));
    m_countBox->setReadOnly(true);
    m_countBox->setAlignment(Qt::AlignRight);
    addLabel(this, QStringLiteral("登録件数"), twips(1560, 1635, 900, 300), m_countBox);
    QLabel *note = addLabel(this, QStringLiteral("名刺は新規作成で宛先を一発挿入した際の確認用として使用します。"),
                            twips(3300, 1530, 4020, 600));
    note->setWordWrap(true);

    m_deleteButton = addButton(this, QStringLiteral("削除"), "Command4", twips(120, 2100, 1300, 420));

    // The reload button lies outside the window: only the window's own actions run it.
    m_reloadButton = addButton(this, QStringLiteral("再読込"), "Command2", twips(-3000, -3000, 1000, 400));
    m_reloadButton->setFocusPolicy(Qt::NoFocus);
}

void FriendForm::createList()
{
    m_model = new AddressListModel(this);
    m_list = new QTreeView(this);
    m_list->setObjectName(QStringLiteral("MailListView"));
    m_list->setAccessibleName(QStringLiteral("アドレス一覧"));
    m_list->setGeometry(twips(120, ListTop, FormWidth - 240, ListHeight));
    m_list->setModel(m_model);
    m_list->setRootIsDecorated(false);
    m_list->setItemsExpandable(false);
    m_list->setUniformRowHeights(true);
    // The stored trailing blanks stay in the cells; they are cut, not shown as "…".
    m_list->setTextElideMode(Qt::ElideNone);
    m_list->setAllColumnsShowFocus(true);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->header()->setStretchLastSection(false);
    m_list->header()->setAccessibleName(QStringLiteral("列見出し"));
}

void FriendForm::createHelpAndStatus()
{
    m_helpBox = new QPlainTextEdit(this);
    m_helpBox->setObjectName(QStringLiteral("Text5"));
    m_helpBox->setAccessibleName(QStringLiteral("ヘルプ"));
    m_helpBox->setReadOnly(true);
    m_helpBox->hide();

    auto *strip = new QLabel(this);
    strip->setFrameShape(QFrame::Panel);
    strip->setFrameShadow(QFrame::Sunken);
    strip->setGeometry(twips(0, FormHeight - 360, FormWidth, 360));
    m_statusLabel = new QLabel(strip);
    m_statusLabel->setObjectName(QStringLiteral("Label7"));
    m_statusLabel->setGeometry(4, 2, px(FormWidth) - 8, px(360) - 4);
}

void FriendForm::connectControls()
{
    connect(m_pasteAddressButton, &QPushButton::clicked, this, &FriendForm::Command1_Click);
    connect(m_pasteNameButton, &QPushButton::clicked, this, &FriendForm::Command5_Click);
    connect(m_cardButton, &QPushButton::clicked, this, &FriendForm::Command38_Click);
    connect(m_registerButton, &QPushButton::clicked, this, &FriendForm::Command3_Click);
    connect(m_deleteButton, &QPushButton::clicked, this, &FriendForm::Command4_Click);
    connect(m_reloadButton, &QPushButton::clicked, this, &FriendForm::Command2_Click);
    connect(m_list, &QAbstractItemView::pressed, this, &FriendForm::MailListView_MouseDown);
    // Enter on an entry does what a press does, for use without a mouse.
    connect(m_list, &QAbstractItemView::activated, this, &FriendForm::MailListView_MouseDown);
}

void FriendForm::registerHelpTexts()
{
    m_helpTexts = {
        {m_pasteAddressButton, QStringLiteral("コピーして来たメールアドレスを貼り付けます。")},
        {m_registerButton,
         QStringLiteral("登録を行います。これにより新規作成でのメールアドレスの一発入力が可能になります。")},
        {m_deleteButton, QStringLiteral("不要になったメールアドレスを削除します。")},
        {m_cardButton,
         QStringLiteral("名詞の挿入を行います。例えばメールアドレスが taro@example.jp の時、名刺に「山田太郎」と"
                        "入力して挿入すると「山田太郎<taro@example.jp>」として登録され、相手にはメールアドレスと"
                        "一緒に名前が表示されます。\r\n\r\n必要なければ挿入する必要はありません。")},
    };
    for (auto it = m_helpTexts.cbegin(); it != m_helpTexts.cend(); ++it) {
        auto *button = static_cast<QWidget *>(it.key());
        button->setMouseTracking(true);
        // The pointer over a button is not also over the window's background.
        button->setAttribute(Qt::WA_NoMousePropagation);
        button->installEventFilter(this);
    }
}

void FriendForm::Form_Load(bool helpDisplay)
{
    habitat::litterTick().pause();
    m_helpBox->setGeometry(twips(120, helpDisplay ? HelpTop : HiddenHelpTop, FormWidth - 240, 1200));
    const int listWidth = m_list->width();
    m_list->setColumnWidth(0, listWidth / 2);
    m_list->setColumnWidth(1, int(listWidth / 2.38));
    common::InstallHeaderColouring(m_list);
    m_statusLabel->clear();
    if (const common::StoreStatus status = m_store.createIfMissing(); !status)
        reportStoreFailure(status);
    Command2_Click();
}

void FriendForm::Form_Unload()
{
    if (m_unloaded)
        return;
    m_unloaded = true;
    common::RemoveHeaderColouring(m_list);
    habitat::litterTick().resume();
}

void FriendForm::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
}

void FriendForm::setAddressText(const QString &text)
{
    m_addressBox->setText(text);
}

void FriendForm::Command2_Click()
{
    if (const common::StoreStatus status = m_model->reload(m_store); !status)
        reportStoreFailure(status);
    m_countBox->setText(QString::number(m_model->rowCount()));
}

int FriendForm::selectedRecord() const
{
    const QModelIndexList rows = m_list->selectionModel()->selectedRows();
    return rows.isEmpty() ? 0 : m_model->recordNumber(rows.first());
}

bool FriendForm::showRecord(int n)
{
    const common::RecordRead read = m_store.GetAddressRecord(n);
    if (read != common::RecordRead::Read) {
        if (read == common::RecordRead::Failed)
            reportStoreFailure(m_store.lastStatus());
        return false;
    }
    m_nameBox->setText(common::trimBlanks(CurrentAddressRecord.name));
    m_addressBox->setText(common::trimBlanks(CurrentAddressRecord.address));
    return true;
}

void FriendForm::MailListView_MouseDown()
{
    const int n = selectedRecord();
    if (n == 0 || !showRecord(n))
        return;
    m_statusLabel->setText(QStringLiteral("　選択しました。"));
}

void FriendForm::Command1_Click()
{
    m_addressBox->setText(common::prompts().clipboardText());
}

void FriendForm::Command5_Click()
{
    m_nameBox->setText(common::prompts().clipboardText());
}

void FriendForm::Command38_Click()
{
    if (m_addressBox->text().isEmpty()) {
        common::prompts().inform(QStringLiteral("メールアドレスが入力されていません"));
        return;
    }
    if (m_cardBox->text().isEmpty()) {
        common::prompts().inform(QStringLiteral("名詞が入力されていません"));
        return;
    }
    m_addressBox->setText(businessCardAddress(m_cardBox->text(), m_addressBox->text()));
}

void FriendForm::Command3_Click()
{
    const common::StoreStatus status =
        m_store.appendAddressRecord(m_nameBox->text(), m_addressBox->text(), common::Flush::ToDisk);
    if (!status) {
        reportStoreFailure(status);
        return;
    }
    m_statusLabel->setText(QStringLiteral("　登録が完了しました。"));
    Command2_Click();
}

void FriendForm::Command4_Click()
{
    if (m_addressBox->text().isEmpty()) {
        common::prompts().inform(NothingSelectedText);
        return;
    }
    // An address typed by hand with no entry selected names no record to delete.
    const int n = selectedRecord();
    if (n == 0) {
        common::prompts().inform(NothingSelectedText);
        return;
    }
    if (!showRecord(n)) {
        Command2_Click();
        return;
    }
    m_statusLabel->clear();
    const bool yes = common::prompts().askYesNo(
        QStringLiteral("選択された（行、青色）データを削除します。よろしいですか"), QStringLiteral("確認"),
        common::PromptIcon::Question);
    if (yes) {
        if (const common::StoreStatus status = m_store.DeleteAddressRecord(n); !status)
            reportStoreFailure(status);
        else
            m_statusLabel->setText(QStringLiteral("削除が完了しました"));
    }
    if (const common::StoreStatus status = m_store.CompactStore(); !status)
        reportStoreFailure(status);
    Command2_Click();
    m_nameBox->clear();
    m_addressBox->clear();
    m_cardBox->clear();
}

void FriendForm::reportStoreFailure(const common::StoreStatus &status)
{
    common::prompts().inform(status.message(), QString(), common::PromptIcon::Warning);
}

void FriendForm::showHelp(const QString &text)
{
    m_helpBox->setPlainText(forDisplay(text));
    m_helpBox->show();
    m_helpBox->raise();
}

bool FriendForm::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::MouseMove || event->type() == QEvent::Enter) {
        const auto it = m_helpTexts.constFind(watched);
        if (it != m_helpTexts.cend())
            showHelp(it.value());
    }
    return QWidget::eventFilter(watched, event);
}

void FriendForm::mouseMoveEvent(QMouseEvent *event)
{
    m_helpBox->hide();
    QWidget::mouseMoveEvent(event);
}

} // namespace addressbook
