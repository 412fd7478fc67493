// The main window's "受信" against a real Dovecot: the whole program's side of
// a check, with message boxes answered through the prompts seam.
#include "app/ui/MainForm.h"
#include "app/ui/MainFormMailCheck.h"
#include "app/ui/WindowHub.h"
#include "habitat/Habitat.h"
#include "habitat/HabitatHalted.h"
#include "habitat/LitterTick.h"
#include "maillib/NMail.h"
#include "receive/MailCheckState.h"
#include "receive/MailStore.h"
#include "settings/AccountSettings.h"
#include "settings/ui/IdpassForm.h"
#include "support/DovecotServer.h"
#include "support/ScriptedPrompts.h"
#include "support/TempProgramFolder.h"
#include "viewer/MailListModel.h"
#include "viewer/ui/TyakuForm.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using testsupport::DovecotServer;

namespace {

const QString Alice = QStringLiteral("alice");

QByteArray message(const QByteArray &subject, const QByteArray &body)
{
    return "From: =?UTF-8?B?6Yi05pyo?= <suzuki@example.jp>\r\nTo: alice@example.jp\r\nSubject: " + subject
        + "\r\nDate: Wed, 9 Dec 2026 09:00:00 +0900\r\nMIME-Version: 1.0\r\n"
          "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
        + body;
}

// One run of the program against the test's server.
struct Program
{
    testsupport::TempProgramFolder folder;
    QTemporaryDir workingDir;
    QString oldCwd = QDir::currentPath();
    testsupport::ScriptedPrompts prompts;
    std::unique_ptr<habitat::Habitat> habitat;
    std::unique_ptr<app::MainForm> form;

    Program(const QString &server, const QByteArray &id, const QByteArray &password)
    {
        QDir::setCurrent(workingDir.path());
        settings::accountSettings() = settings::AccountSettings();
        habitat::HabitatHalted = 0;
        habitat::litterTick().resume();
        QFile account(workingDir.filePath(QStringLiteral("korvix.ini")));
        if (account.open(QIODevice::WriteOnly))
            account.write("SMTP=127.0.0.1\r\nPOP3=" + server.toUtf8() + "\r\nMAIL=alice@example.jp\r\nAPOP=0\r\n");
        account.close();
        folder.writeDataFile(QStringLiteral("iniIdPass.ini"),
                             "[EXEINI]\r\nNAME=" + id + "\r\nNAME2=" + password + "\r\nNAME3=1\r\n");
        habitat = std::make_unique<habitat::Habitat>();
        form = std::make_unique<app::MainForm>(*habitat);
        app::MainFormServices services;
        services.startMailLayer = [] {
            maillib::NMailInitializeWinSock();
            maillib::NMailSetOption(1, 8192);
        };
        services.endProcess = [] {};
        form->setServices(services);
        form->Form_Load();
        form->show();
        prompts.shown.clear();
    }
    ~Program()
    {
        form.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QDir::setCurrent(oldCwd);
    }

    void clickJyushin()
    {
        auto *button = form->findChild<QToolButton *>(QStringLiteral("Jyushin"));
        QVERIFY(button);
        QTest::mouseClick(button, Qt::LeftButton);
    }
    QString status() const { return form->statusBox()->text(); }
    QString newCount() const { return form->newCountBox()->text(); }
    QStringList storedSubjects() const
    {
        receive::MailStore store;
        QStringList subjects;
        for (const receive::MailListEntry &entry : store.readMailList())
            subjects << entry.subject.trimmed();
        return subjects;
    }
};

} // namespace

class MailCheckWindowTest : public QObject
{
    Q_OBJECT

private:
    DovecotServer m_server;

    QStringList serverSubjects() const
    {
        QStringList subjects;
        for (const QByteArray &m : m_server.messages(Alice)) {
            const qsizetype at = m.indexOf("Subject: ");
            subjects << QString::fromUtf8(m.mid(at + 9, m.indexOf('\r', at) - at - 9));
        }
        return subjects;
    }
    void deliver(const QList<QByteArray> &subjects)
    {
        for (const QByteArray &s : subjects)
            QVERIFY(m_server.deliver(Alice, message(s, "本文 " + s + "\r\n")));
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY2(m_server.start(), qPrintable(m_server.error())); }
    void init() { m_server.clear(Alice); }

    void threeMessagesInServerOrder_data()
    {
        QTest::addColumn<bool>("autoShow");
        QTest::newRow("auto-show clear") << false;
        QTest::newRow("auto-show ticked") << true;
    }
    void threeMessagesInServerOrder()
    {
        QFETCH(bool, autoShow);
        deliver({"one", "two", "three"});
        Program program(m_server.address(), "alice", "alicepw");
        program.form->autoShowBox()->setChecked(autoShow);
        habitat::litterTick().setInterval(0);

        program.clickJyushin();

        QCOMPARE(program.storedSubjects(), (QStringList{"one", "two", "three"}));
        QCOMPARE(serverSubjects(), QStringList());
        QCOMPARE(program.newCount(), QStringLiteral("3"));
        QCOMPARE(program.status(), QStringLiteral("新着メール有り。"));
        QCOMPARE(program.form->helpTextBox()->toPlainText(), QStringLiteral("メールのチェックをしています。"));
        QCOMPARE(habitat::litterTick().interval(), 1000);
        QVERIFY(program.prompts.shown.isEmpty());
        QVERIFY(!receive::mailCheckRunning());
        QVERIFY(!program.form->mailCheck().panel()->isVisible());

        // The viewer's reading fields hold the last message; auto-show opened
        // the viewer with the new mail last in its list.
        viewer::TyakuForm *viewerForm = program.form->windows().loadedTyakuForm();
        QVERIFY(viewerForm);
        QCOMPARE(viewerForm->subjectText(), QStringLiteral("three"));
        QVERIFY(viewerForm->senderText().contains(QStringLiteral("鈴木")));
        QCOMPARE(viewerForm->dateText(), QStringLiteral("Wed, 9 Dec 2026 09:00:00 +0900"));
        QVERIFY(viewerForm->bodyText().startsWith(QStringLiteral("本文 three")));
        QCOMPARE(viewerForm->isVisible(), autoShow);
        if (autoShow) {
            const viewer::MailListModel *model = viewerForm->mailListModel();
            QCOMPARE(model->rowCount(), 3);
            QCOMPARE(model->cellText(2, viewer::MailListModel::SubjectColumn).trimmed(), QStringLiteral("three"));
        }
        // The credentials window, loaded hidden, shows the pair the check used.
        settings::IdpassForm *credentials = program.form->windows().loadedIdpassForm();
        QVERIFY(credentials);
        QCOMPARE(credentials->idText(), QStringLiteral("alice"));
        QVERIFY(!credentials->isVisible());
    }

    void emptyMailboxWithAutoShowOpensNoViewer()
    {
        Program program(m_server.address(), "alice", "alicepw");
        program.form->autoShowBox()->setChecked(true);
        habitat::litterTick().setInterval(300);
        program.clickJyushin();
        QCOMPARE(program.status(), QStringLiteral("新着メール無し。"));
        QCOMPARE(program.newCount(), QStringLiteral("0"));
        const viewer::TyakuForm *viewerForm = program.form->windows().loadedTyakuForm();
        QVERIFY(!viewerForm || !viewerForm->isVisible());
        QCOMPARE(habitat::litterTick().interval(), 1000);
    }

    // A wrong saved password: the box tells why and the count stays readable.
    // The right one typed without ticking the save box serves the next check
    // and is not written; the cumulative count then counts the store.
    void wrongPasswordThenTheOneTypedWithoutSaving()
    {
        deliver({"kept"});
        Program program(m_server.address(), "alice", "nope");
        program.clickJyushin();
        QCOMPARE(program.prompts.shown.size(), 1);
        QCOMPARE(program.prompts.shown.first().title, QStringLiteral("エラー"));
        QVERIFY(!program.prompts.shown.first().text.isEmpty());
        QCOMPARE(program.newCount(), QStringLiteral("0"));
        QCOMPARE(program.status(), QStringLiteral("新着メール無し。"));
        QCOMPARE(serverSubjects(), QStringList{"kept"});

        settings::IdpassForm *credentials = program.form->windows().showIdpassForm();
        credentials->setPassText(QStringLiteral("alicepw"));
        credentials->findChild<QPushButton *>(QStringLiteral("OKCommand"))->click();
        program.clickJyushin();
        QCOMPARE(program.storedSubjects(), QStringList{"kept"});
        QCOMPARE(program.newCount(), QStringLiteral("1"));
        QCOMPARE(program.form->storedCountBox()->text(), QStringLiteral("1"));
        QVERIFY(program.folder.readDataFile(QStringLiteral("iniIdPass.ini")).contains("NAME2=nope"));
    }

    void missingIdOpensTheCredentialsWindow()
    {
        deliver({"kept"});
        Program program(m_server.address(), "", "alicepw");
        if (settings::IdpassForm *shownAtStart = program.form->windows().loadedIdpassForm())
            shownAtStart->hide();
        program.clickJyushin();
        settings::IdpassForm *credentials = program.form->windows().loadedIdpassForm();
        QVERIFY(credentials);
        QVERIFY(credentials->isVisible());
        QCOMPARE(program.status(), QStringLiteral("新着メール無し。"));
        QCOMPARE(serverSubjects(), QStringList{"kept"});
    }

    // Ended early by "中止" or by closing the main window: the program ends
    // only once the check has, and the next check starts from an empty bar.
    void stopPressedPartWayKeepsTheRestOnTheServer_data()
    {
        QTest::addColumn<bool>("byClosing");
        QTest::addColumn<bool>("byKeyboard");
        QTest::newRow("中止") << false << false;
        QTest::newRow("中止 from the keyboard") << false << true;
        QTest::newRow("closing the window") << true << false;
    }
    void stopPressedPartWayKeepsTheRestOnTheServer()
    {
        QFETCH(bool, byClosing);
        QFETCH(bool, byKeyboard);
        // Enough messages that the check outlasts a few turns of the event loop.
        QList<QByteArray> subjects;
        for (int i = 1; i <= 200; ++i)
            subjects << "m" + QByteArray::number(i);
        deliver(subjects);
        Program program(m_server.address(), "alice", "alicepw");
        int ended = 0;
        app::MainFormServices services;
        services.endProcess = [&] { ended += receive::mailCheckRunning() ? 100 : 1; };
        program.form->setServices(services);
        app::CheckProgressPanel *panel = program.form->mailCheck().panel();
        // While the check waits on the server, the window turns its event
        // loop: press "中止" as soon as the first message is in hand, and
        // try to start a second check and to open the settings meanwhile.
        QTimer presser;
        bool pressed = false;
        bool secondCheckTried = false;
        connect(&presser, &QTimer::timeout, [&] {
            if (!receive::mailCheckRunning() || pressed)
                return;
            if (!panel->progressText().startsWith(QStringLiteral("受信中")))
                return;
            pressed = true;
            QVERIFY(panel->isVisible());
            QTest::mouseClick(program.form->findChild<QToolButton *>(QStringLiteral("Set")), Qt::LeftButton);
            QTest::mouseClick(program.form->findChild<QToolButton *>(QStringLiteral("Jyushin")), Qt::LeftButton);
            secondCheckTried = true;
            if (byClosing)
                program.form->close();
            else if (byKeyboard) // the clicks above took the focus; the first key brings it back
                for (int key = 0; key < 2; ++key)
                    QTest::keyClick(program.form->focusWidget(), Qt::Key_Space);
            else
                QTest::mouseClick(panel->stopButton(), Qt::LeftButton);
        });
        presser.start(0);
        program.clickJyushin();
        presser.stop();

        QVERIFY(pressed);
        QVERIFY(secondCheckTried);
        QVERIFY(!program.form->windows().loadedSetForm()); // the click never reached the tool bar
        const QStringList stored = program.storedSubjects();
        const QStringList left = serverSubjects();
        QVERIFY2(stored.size() >= 1 && stored.size() < subjects.size(), qPrintable(stored.join(u',')));
        // Nothing lost, nothing doubled: what was stored is gone from the
        // server, in order, and the rest is still there.
        QStringList all;
        for (const QByteArray &s : subjects)
            all << QString::fromLatin1(s);
        QCOMPARE(stored + left, all);
        QCOMPARE(program.newCount(), QString::number(stored.size()));
        QVERIFY(program.prompts.shown.isEmpty());
        QTest::qWait(50);
        QCOMPARE(ended, byClosing ? 1 : 0);

        auto *bar = panel->findChild<QProgressBar *>();
        int barAtStart = -1;
        connect(&presser, &QTimer::timeout, [&] {
            if (barAtStart < 0 && receive::mailCheckRunning())
                barAtStart = bar->value();
        });
        presser.start(0);
        program.clickJyushin();
        QCOMPARE(barAtStart, 0);
        QCOMPARE(program.storedSubjects(), all);
    }

    void failedConnectionIsShownUnderError()
    {
        Program program(QStringLiteral("127.0.0.1:1"), "alice", "alicepw");
        program.clickJyushin();
        QCOMPARE(program.prompts.shown.size(), 1);
        QCOMPARE(program.prompts.shown.first().title, QStringLiteral("エラー"));
        QVERIFY(program.status() != QStringLiteral("新着メール無し。"));
    }
};

QTEST_MAIN(MailCheckWindowTest)
#include "tst_MailCheckWindow.moc"
