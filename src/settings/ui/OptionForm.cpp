#include "settings/ui/OptionForm.h"

#include "common/Prompts.h"
#include "settings/AccountSettings.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>

#include "common/ui/OneLineBox.h"

namespace settings {
namespace {

// A caption as a screen reader should say it: without the access key that
// follows it in brackets, "SMTPサーバー名(&S)" read as "SMTPサーバー名".
QString spokenCaption(QString caption)
{
    static const QRegularExpression accessKey(QStringLiteral("\\(&.\\)$"));
    return caption.remove(accessKey).remove(QLatin1Char('&')).trimmed();
}

QLineEdit *addField(QWidget *form, const QString &label, const QString &name, int top)
{
    auto *edit = new QLineEdit(form);
    edit->setObjectName(name);
    common::makeOneLine(edit);
    edit->setGeometry(16, top + 20, 264, 22);
    auto *caption = new QLabel(label, form);
    caption->setObjectName(name + QStringLiteral("Label"));
    caption->setGeometry(16, top, 264, 18);
    caption->setBuddy(edit);
    edit->setAccessibleName(spokenCaption(label));
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
    setFixedSize(296, 220);

    m_smtpText = addField(this, QStringLiteral("SMTPサーバー名(&S)"), QStringLiteral("SmtpText"), 10);
    m_pop3Text = addField(this, QStringLiteral("POP3サーバー名(&P)"), QStringLiteral("Pop3Text"), 56);
    m_mailText = addField(this, QStringLiteral("メールアドレス(&M)"), QStringLiteral("MailText"), 102);

    m_apopCheck = new QCheckBox(QStringLiteral("APOP を使用する(&A)"), this);
    m_apopCheck->setObjectName(QStringLiteral("ApopCheck"));
    m_apopCheck->setGeometry(16, 150, 264, 22);
    m_apopCheck->setAccessibleName(spokenCaption(m_apopCheck->text()));

    m_okButton = new QPushButton(QStringLiteral("設定"), this);
    m_okButton->setObjectName(QStringLiteral("OkCommand"));
    m_okButton->setGeometry(112, 182, 80, 26);
    m_cancelButton = new QPushButton(QStringLiteral("中止"), this);
    m_cancelButton->setObjectName(QStringLiteral("CancelCommand"));
    m_cancelButton->setGeometry(200, 182, 80, 26);
    // Enter presses the button that has the focus, as on the other windows.
    m_okButton->setAutoDefault(true);
    m_cancelButton->setAutoDefault(true);
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

} // namespace settings
