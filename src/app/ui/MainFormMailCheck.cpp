#include "app/ui/MainFormMailCheck.h"

#include "app/ui/MainForm.h"
#include "app/ui/WindowHub.h"
#include "habitat/LitterTick.h"
#include "receive/MailCheckState.h"
#include "receive/MailStore.h"
#include "settings/ui/IdpassForm.h"
#include "viewer/ui/TyakuForm.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace app {
namespace {

QString stopTip()
{
    return QStringLiteral("受信中のメールを保存してから、受信を終えます。");
}

QString megabytes(qint64 bytes)
{
    return QString::number(double(bytes) / (1024.0 * 1024.0), 'f', 1);
}

bool isUserInput(QEvent::Type type)
{
    switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
        return true;
    default:
        return false;
    }
}

} // namespace

CheckProgressPanel::CheckProgressPanel(QWidget *parent) : QFrame(parent)
{
    setObjectName(QStringLiteral("CheckProgress"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    QPalette colours = palette();
    colours.setColor(QPalette::Window, QColor(64, 64, 64));
    colours.setColor(QPalette::WindowText, Qt::white);
    setPalette(colours);

    m_progressText = new QLabel(this);
    m_progressText->setObjectName(QStringLiteral("CheckProgressText"));
    m_progressBar = new QProgressBar(this);
    m_progressBar->setObjectName(QStringLiteral("CheckProgressBar"));
    m_progressBar->setRange(0, 1000);
    m_progressBar->setTextVisible(false);
    m_progressBar->setAccessibleName(QStringLiteral("受信の進み具合"));
    m_stopButton = new QPushButton(QStringLiteral("中止"), this);
    m_stopButton->setObjectName(QStringLiteral("StopCheckCommand"));
    m_stopButton->setAccessibleName(QStringLiteral("受信の中止"));
    m_stopButton->setToolTip(stopTip());
    connect(m_stopButton, &QPushButton::clicked, this, &CheckProgressPanel::stopRequested);
    setFocusProxy(m_stopButton);

    auto *rows = new QVBoxLayout(this);
    rows->setContentsMargins(6, 4, 6, 4);
    rows->setSpacing(3);
    rows->addWidget(m_progressText);
    auto *bar = new QHBoxLayout;
    bar->addWidget(m_progressBar, 1);
    bar->addWidget(m_stopButton);
    rows->addLayout(bar);
    hide();
}

QString CheckProgressPanel::progressText() const
{
    return m_progressText->text();
}

void CheckProgressPanel::showProgress(const receive::MailCheckProgress &progress)
{
    QString text;
    if (progress.messages == 0) {
        // A new check starts from an empty bar, whatever the last one reached.
        text = QStringLiteral("サーバーに接続しています…");
        m_progressBar->setValue(0);
    } else {
        const qint64 received = qMin(progress.receivedBytes, progress.totalBytes);
        text = QStringLiteral("受信中　%1 / %2 件　%3 / %4 MB")
                   .arg(progress.message)
                   .arg(progress.messages)
                   .arg(megabytes(received), megabytes(progress.totalBytes));
        // The bar follows the octets, so that one large message shows its
        // progress too; the layer reads ahead, so they are held to the
        // messages stored and the one in hand.
        double share = double(progress.stored) / double(progress.messages);
        if (progress.totalBytes > 0)
            share = qMin(double(received) / double(progress.totalBytes),
                         double(progress.stored + 1) / double(progress.messages));
        m_progressBar->setValue(int(qBound(0.0, share, 1.0) * 1000));
    }
    if (progress.stopping) {
        text += QStringLiteral("\nこのメールを保存したら中止します。");
        m_stopButton->setText(QStringLiteral("今すぐ中止"));
        m_stopButton->setToolTip(QStringLiteral("受信中のメールを待たずに中止します。今回保存したメールはサーバーにも"
                                                "残り、次の受信でもう一度保存されます。"));
    } else {
        m_stopButton->setText(QStringLiteral("中止"));
        m_stopButton->setToolTip(stopTip());
    }
    m_progressText->setText(text);
}

CheckModality::CheckModality(QWidget *allowed, QWidget *mainWindow, std::function<void()> mainWindowClosed,
                             QObject *parent)
    : QObject(parent), m_allowed(allowed), m_mainWindow(mainWindow), m_mainWindowClosed(std::move(mainWindowClosed))
{
    qApp->installEventFilter(this);
}

CheckModality::~CheckModality()
{
    qApp->removeEventFilter(this);
}

bool CheckModality::eventFilter(QObject *watched, QEvent *event)
{
    auto *widget = qobject_cast<QWidget *>(watched);
    if (!widget)
        return false;
    if (event->type() == QEvent::Close && widget->isWindow()) {
        // Message boxes close as usual; the program's windows stay while the
        // check writes into them.
        if (widget == QApplication::activeModalWidget())
            return false;
        event->ignore();
        if (widget == m_mainWindow && m_mainWindowClosed)
            m_mainWindowClosed();
        return true;
    }
    if (!isUserInput(event->type()))
        return false;
    if (QApplication::activeModalWidget())
        return false; // a message box of the check: Qt's own modality applies
    if (widget == m_allowed || m_allowed->isAncestorOf(widget))
        return false;
    // A click on another control has taken the focus all the same: a key
    // pressed in the main window brings it back to the panel.
    if (event->type() == QEvent::KeyPress && widget->window() == m_mainWindow)
        m_allowed->setFocus();
    return true;
}

MainFormMailCheck::MainFormMailCheck(MainForm &form) : QObject(&form), m_form(form), m_check(*this)
{
    m_panel = new CheckProgressPanel(&form);
    m_panel->setGeometry(8, 296, 330, 64);
    connect(m_panel, &CheckProgressPanel::stopRequested, this, [this] { m_check.requestStop(); });
}

MainFormMailCheck::~MainFormMailCheck() = default;

void MainFormMailCheck::ReceiveMail()
{
    if (receive::mailCheckRunning())
        return;
    m_closeAfterCheck = false;
    m_check.ReceiveMail();
    // Closed during the check: the window closes now that the check has
    // ended, from the event loop rather than from inside the click.
    if (m_closeAfterCheck)
        QMetaObject::invokeMethod(&m_form, &QWidget::close, Qt::QueuedConnection);
}

void MainFormMailCheck::closeAskedDuringCheck()
{
    // As "中止": the check ends after the message in hand (a second close cuts
    // it short), and then the program ends, with nothing lost on the way.
    m_closeAfterCheck = true;
    m_check.requestStop();
}

void MainFormMailCheck::checkStarted()
{
    m_panel->showProgress({});
    m_panel->show();
    m_panel->raise();
    // Input reaches only the panel meanwhile: "中止" takes the window's
    // focus, so that the keyboard can press it too, and gives it back after.
    m_focusBeforeCheck = m_form.focusWidget();
    m_panel->setFocus();
    m_modality = new CheckModality(m_panel, &m_form, [this] { closeAskedDuringCheck(); }, this);
}

void MainFormMailCheck::checkEnded()
{
    putPendingMailIntoViewer();
    delete m_modality;
    m_modality = nullptr;
    // Before the panel goes, so that the focus does not move on to the next control.
    if (m_form.focusWidget() == m_panel->stopButton()) {
        if (m_focusBeforeCheck)
            m_focusBeforeCheck->setFocus();
        else
            m_panel->stopButton()->clearFocus();
    }
    m_panel->hide();
}

void MainFormMailCheck::setLitterTickInterval(int milliseconds)
{
    habitat::litterTick().setInterval(milliseconds);
}

void MainFormMailCheck::showHelpText(const QString &text)
{
    m_form.helpTextBox()->setPlainText(text);
}

void MainFormMailCheck::showCredentialsUsed(const QString &userId, const QString &password)
{
    settings::IdpassForm *credentials = m_form.windows().idpassForm();
    credentials->setIdText(userId);
    credentials->setPassText(password);
}

void MainFormMailCheck::showCredentialsWindow()
{
    m_form.windows().showIdpassForm();
}

void MainFormMailCheck::showMessage(const QString &subject, const QString &from, const QString &date,
                                    const QString &body)
{
    m_pendingMail = ShownMail{subject, from, date, body};
}

void MainFormMailCheck::putPendingMailIntoViewer()
{
    if (!m_pendingMail)
        return;
    const ShownMail mail = std::move(*m_pendingMail);
    m_pendingMail.reset();
    m_form.windows().tyakuForm()->showReceivedMail(mail.subject, mail.from, mail.date, mail.body);
}

void MainFormMailCheck::showProgress(const receive::MailCheckProgress &progress)
{
    putPendingMailIntoViewer();
    m_panel->showProgress(progress);
}

void MainFormMailCheck::showResult(const QString &status, const QString &newCount)
{
    m_form.statusBox()->setText(status);
    m_form.newCountBox()->setText(newCount);
    // "着信数（累積）" counts the whole store, also once the check has loaded the viewer.
    m_form.storedCountBox()->setText(QString::number(receive::MailStore().CountMailRecords()));
}

bool MainFormMailCheck::autoShowTicked() const
{
    return m_form.autoShowBox()->isChecked();
}

void MainFormMailCheck::openViewer()
{
    m_form.Command6_Click();
}

} // namespace app
