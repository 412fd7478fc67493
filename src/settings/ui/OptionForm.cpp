#include "settings/ui/OptionForm.h"

#include "common/Prompts.h"
#include "settings/AccountSettings.h"
#include "settings/ConnectionTest.h"
#include "settings/Credentials.h"

#include "common/ui/FormKit.h"
#include "common/ui/OneLineBox.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>

namespace settings {
namespace {

// A caption as a screen reader should say it: without the access key that
// follows it in brackets, "SMTPサーバー名(&S)" read as "SMTPサーバー名".
QString spokenCaption(QString caption)
{
    static const QRegularExpression accessKey(QStringLiteral("\\(&.\\)$"));
    return caption.remove(accessKey).remove(QLatin1Char('&')).trimmed();
}

constexpr int FieldWidth = 368;

// A caption, a box and a short line under it that says what the box takes.
QLineEdit *addField(QWidget *form, const QString &label, const QString &name, int top, const QString &placeholder,
                    const QString &hint, int hintLines)
{
    auto *edit = new QLineEdit(form);
    edit->setObjectName(name);
    common::makeOneLine(edit);
    edit->setGeometry(16, top + 20, FieldWidth, 22);
    edit->setPlaceholderText(placeholder);
    auto *caption = new QLabel(label, form);
    caption->setObjectName(name + QStringLiteral("Label"));
    caption->setGeometry(16, top, FieldWidth, 18);
    caption->setBuddy(edit);
    edit->setAccessibleName(spokenCaption(label));
    auto *hintLabel = new QLabel(hint, form);
    hintLabel->setObjectName(name + QStringLiteral("Hint"));
    hintLabel->setTextFormat(Qt::PlainText);
    hintLabel->setWordWrap(true);
    hintLabel->setGeometry(16, top + 44, FieldWidth, 16 * hintLines + 2);
    hintLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QPalette palette = hintLabel->palette();
    palette.setColor(QPalette::WindowText, QColor(80, 80, 80));
    hintLabel->setPalette(palette);
    edit->setAccessibleDescription(hint);
    return edit;
}

} // namespace

OptionForm::OptionForm(QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                          | Qt::CustomizeWindowHint)
{
    setObjectName(QStringLiteral("OptionForm"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("サーバー設定"));
    setFixedSize(400, 330);

    m_smtpText = addField(this, QStringLiteral("SMTPサーバー名(&S)"), QStringLiteral("SmtpText"), 10,
                          QStringLiteral("例: smtp.example.jp"),
                          QStringLiteral("ポート番号は smtp.example.jp:587、SSL は smtps://smtp.example.jp:465、"
                                         "送信にログインが要るときは smtp://ユーザー@smtp.example.jp:587"),
                          3);
    m_pop3Text = addField(this, QStringLiteral("POP3サーバー名(&P)"), QStringLiteral("Pop3Text"), 106,
                          QStringLiteral("例: pop.example.jp"),
                          QStringLiteral("ポート番号は pop.example.jp:110、SSL は pop3s://pop.example.jp"
                                         "（ポート 995）。ID とパスワードは「ID/PASS」で設定します"),
                          2);
    m_mailText = addField(this, QStringLiteral("メールアドレス(&M)"), QStringLiteral("MailText"), 186,
                          QStringLiteral("例: hanako@example.jp"),
                          QStringLiteral("送信するメールの差出人になる、あなたのメールアドレス"), 1);

    m_apopCheck = new QCheckBox(QStringLiteral("APOP を使用する(&A)"), this);
    m_apopCheck->setObjectName(QStringLiteral("ApopCheck"));
    m_apopCheck->setGeometry(16, 260, FieldWidth, 22);
    m_apopCheck->setAccessibleName(spokenCaption(m_apopCheck->text()));

    m_testButton = common::addButton(this, QStringLiteral("接続テスト(&T)"), "TestCommand", {16, 292, 112, 26});
    m_testButton->setAccessibleName(QStringLiteral("接続テスト"));
    connect(m_testButton, &QPushButton::clicked, this, &OptionForm::TestCommand_Click);

    m_okButton = common::addButton(this, QStringLiteral("設定"), "OkCommand", {216, 292, 80, 26});
    m_cancelButton = common::addButton(this, QStringLiteral("中止"), "CancelCommand", {304, 292, 80, 26});
    connect(m_okButton, &QPushButton::clicked, this, &OptionForm::OkCommand_Click);
    connect(m_cancelButton, &QPushButton::clicked, this, &OptionForm::CancelCommand_Click);

    const AccountSettings &account = accountSettings();
    m_smtpText->setText(account.SmtpServer);
    m_pop3Text->setText(account.Pop3Server);
    m_mailText->setText(account.MailAddress);
    m_apopCheck->setChecked(account.UseApop != 0);
}

void OptionForm::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        m_cancelButton->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void OptionForm::OkCommand_Click()
{
    AccountSettings &account = accountSettings();
    account.SmtpServer = m_smtpText->text();
    account.Pop3Server = m_pop3Text->text();
    account.MailAddress = m_mailText->text();
    account.UseApop = m_apopCheck->isChecked() ? 1 : 0;
    if (!SaveAccountFile())
        common::prompts().inform(accountFileWriteFailedText(), QString(), common::PromptIcon::Warning);
    close();
}

void OptionForm::CancelCommand_Click()
{
    close();
}

void OptionForm::TestCommand_Click()
{
    // What is typed, not yet saved; the ID and password as saved.
    AccountSettings typed;
    typed.SmtpServer = m_smtpText->text();
    typed.Pop3Server = m_pop3Text->text();
    typed.MailAddress = m_mailText->text();
    typed.UseApop = m_apopCheck->isChecked() ? 1 : 0;
    const QString caption = m_testButton->text();
    m_testButton->setEnabled(false);
    m_okButton->setEnabled(false);
    m_cancelButton->setEnabled(false);
    m_testButton->setText(QStringLiteral("テスト中…"));
    const QPointer<OptionForm> alive(this);
    const ConnectionTestResult result = testConnections(typed, LoadCredentials());
    if (!alive)
        return;
    m_testButton->setText(caption);
    m_testButton->setEnabled(true);
    m_okButton->setEnabled(true);
    m_cancelButton->setEnabled(true);
    common::prompts().inform(connectionTestReport(typed, result), QStringLiteral("接続テスト"),
                             common::PromptIcon::Information);
}

} // namespace settings
