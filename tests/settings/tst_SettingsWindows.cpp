#include "common/ProfileFile.h"
#include "settings/AccountSettings.h"
#include "settings/Credentials.h"
#include "settings/ui/IdpassForm.h"
#include "settings/ui/OptionForm.h"
#include "settings/ui/SetForm.h"
#include "support/ScriptedPrompts.h"
#include "support/TempProgramFolder.h"

#include <QCheckBox>
#include <QClipboard>
#include <QGuiApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using settings::AccountSettings;

namespace {

template <typename T>
T *child(QWidget *w, const char *name)
{
    T *c = w->findChild<T *>(QString::fromLatin1(name));
    if (!c)
        qFatal("no control %s", name);
    return c;
}

// Lets deleteLater() of closed windows happen.
void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

QByteArray readFile(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<none>");
}

QString credential(const char *key)
{
    return common::ProfileFile(settings::credentialsFilePath())
        .readText(QStringLiteral("EXEINI"), QString::fromLatin1(key), QStringLiteral("<missing>"));
}

} // namespace

class TestSettingsWindows : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        m_cwd.reset(new QTemporaryDir);
        m_oldCwd = QDir::currentPath();
        QDir::setCurrent(m_cwd->path());
        settings::accountSettings() = AccountSettings();
    }
    void cleanup() { QDir::setCurrent(m_oldCwd); }

    void optionFormShowsSettingsAndStaysOnTop()
    {
        settings::accountSettings() = {QStringLiteral("smtp.a"), QStringLiteral("pop.a"), QStringLiteral("me@a"), 1};
        settings::OptionForm form;
        QCOMPARE(form.windowTitle(), QStringLiteral("サーバー設定"));
        QVERIFY(form.windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(child<QLineEdit>(&form, "SmtpText")->text(), QStringLiteral("smtp.a"));
        QCOMPARE(child<QLineEdit>(&form, "Pop3Text")->text(), QStringLiteral("pop.a"));
        QCOMPARE(child<QLineEdit>(&form, "MailText")->text(), QStringLiteral("me@a"));
        QVERIFY(child<QCheckBox>(&form, "ApopCheck")->isChecked());
        QCOMPARE(child<QCheckBox>(&form, "ApopCheck")->text(), QStringLiteral("APOP を使用する(&A)"));
        QCOMPARE(child<QPushButton>(&form, "OkCommand")->text(), QStringLiteral("設定"));
        QCOMPARE(child<QPushButton>(&form, "CancelCommand")->text(), QStringLiteral("中止"));
    }

    void setWritesExactlyFourLinesAndCloses()
    {
        testsupport::ScriptedPrompts prompts;
        QPointer<settings::OptionForm> form = new settings::OptionForm;
        form->show();
        child<QLineEdit>(form, "SmtpText")->setText(QStringLiteral("smtp.example.jp"));
        QTest::keyClicks(child<QLineEdit>(form, "Pop3Text"), QStringLiteral("pop.example.jp"));
        child<QLineEdit>(form, "MailText")->setText(QStringLiteral("太郎@example.jp"));
        child<QCheckBox>(form, "ApopCheck")->setChecked(true);
        QTest::mouseClick(child<QPushButton>(form, "OkCommand"), Qt::LeftButton);
        flushDeletes();
        QVERIFY(form.isNull());
        QCOMPARE(readFile(m_cwd->filePath(QStringLiteral("korvix.ini"))),
                 QByteArray("SMTP=smtp.example.jp\r\nPOP3=pop.example.jp\r\nMAIL=")
                     + QByteArray("\x91\xbe\x98\x59") + QByteArray("@example.jp\r\nAPOP=1\r\n"));
        QCOMPARE(settings::accountSettings().Pop3Server, QStringLiteral("pop.example.jp"));
        QCOMPARE(settings::accountSettings().UseApop, qint16(1));
        QVERIFY(prompts.shown.isEmpty());

        // Empty values are accepted; a clear box gives the digit 0.
        form = new settings::OptionForm;
        child<QLineEdit>(form, "SmtpText")->clear();
        child<QCheckBox>(form, "ApopCheck")->setChecked(false);
        QTest::mouseClick(child<QPushButton>(form, "OkCommand"), Qt::LeftButton);
        QCOMPARE(readFile(m_cwd->filePath(QStringLiteral("korvix.ini"))),
                 QByteArray("SMTP=\r\nPOP3=pop.example.jp\r\nMAIL=\x91\xbe\x98\x59@example.jp\r\nAPOP=0\r\n"));
        flushDeletes();
    }

    // A line break pasted into a one-line box never becomes a line of its own
    // in the account file or the credentials file.
    void pastedLineBreaksStayOutOfTheFiles_data()
    {
        QTest::addColumn<QString>("pasted");
        QTest::newRow("CR LF") << QStringLiteral("me@x\r\nSMTP=other.host");
        QTest::newRow("LF") << QStringLiteral("me@x\nSMTP=other.host");
        QTest::newRow("lone CR") << QStringLiteral("me@x\rSMTP=other.host");
        QTest::newRow("line separator") << QStringLiteral("me@x\u2028SMTP=other.host");
    }
    void pastedLineBreaksStayOutOfTheFiles()
    {
        QFETCH(QString, pasted);
        testsupport::TempProgramFolder folder;
        testsupport::ScriptedPrompts prompts;
        QPointer<settings::OptionForm> form = new settings::OptionForm;
        form->show();
        QLineEdit *mail = child<QLineEdit>(form, "MailText");
        QGuiApplication::clipboard()->setText(pasted);
        mail->setFocus();
        mail->paste();
        QCOMPARE(mail->text(), QStringLiteral("me@xSMTP=other.host"));
        child<QLineEdit>(form, "SmtpText")->setText(QStringLiteral("smtp.a\nPOP3=evil"));
        QCOMPARE(child<QLineEdit>(form, "SmtpText")->text(), QStringLiteral("smtp.aPOP3=evil"));
        QTest::mouseClick(child<QPushButton>(form, "OkCommand"), Qt::LeftButton);
        flushDeletes();
        const QByteArray written = readFile(m_cwd->filePath(QStringLiteral("korvix.ini")));
        QCOMPARE(written, QByteArray("SMTP=smtp.aPOP3=evil\r\nPOP3=\r\nMAIL=me@xSMTP=other.host\r\nAPOP=0\r\n"));

        QPointer<settings::IdpassForm> credentials = new settings::IdpassForm;
        child<QCheckBox>(credentials, "Check1")->setChecked(true);
        QLineEdit *id = child<QLineEdit>(credentials, "IdText");
        QGuiApplication::clipboard()->setText(QStringLiteral("taro") + pasted.mid(4));
        id->paste();
        child<QLineEdit>(credentials, "PassText")->setText(QStringLiteral("pw"));
        QCOMPARE(id->text(), QStringLiteral("taroSMTP=other.host"));
        QTest::mouseClick(child<QPushButton>(credentials, "OKCommand"), Qt::LeftButton);
        flushDeletes();
        QCOMPARE(credential("NAME"), QStringLiteral("taroSMTP=other.host"));
        QCOMPARE(credential("SMTP"), QStringLiteral("<missing>"));
    }

    // The files' writers refuse a value with a line break, whoever asks.
    void writersRefuseLineBreaks()
    {
        testsupport::TempProgramFolder folder;
        settings::accountSettings() = {QStringLiteral("smtp.a"), QStringLiteral("pop.a"),
                                       QStringLiteral("me@a\r\nPOP3=evil"), 0};
        QVERIFY(!settings::SaveAccountFile());
        QVERIFY(!QFile::exists(m_cwd->filePath(QStringLiteral("korvix.ini"))));
        QVERIFY(!settings::SaveCredentials({QStringLiteral("taro\nNAME3=9"), QStringLiteral("pw")},
                                           settings::SaveChoice::Save));
        QCOMPARE(credential("NAME"), QStringLiteral("<missing>"));
    }

    void cancelAndEscWriteNothing()
    {
        settings::accountSettings().Pop3Server = QStringLiteral("old");
        for (bool byKey : {false, true}) {
            QPointer<settings::OptionForm> form = new settings::OptionForm;
            form->show();
            child<QLineEdit>(form, "Pop3Text")->setText(QStringLiteral("edited"));
            if (byKey)
                QTest::keyClick(child<QLineEdit>(form, "Pop3Text"), Qt::Key_Escape);
            else
                QTest::mouseClick(child<QPushButton>(form, "CancelCommand"), Qt::LeftButton);
            flushDeletes();
            QVERIFY2(form.isNull(), byKey ? "Esc" : "click");
            QVERIFY(!QFile::exists(m_cwd->filePath(QStringLiteral("korvix.ini"))));
            QCOMPARE(settings::accountSettings().Pop3Server, QStringLiteral("old"));
        }
        // The next opening shows the old value again.
        settings::OptionForm again;
        QCOMPARE(child<QLineEdit>(&again, "Pop3Text")->text(), QStringLiteral("old"));
    }

    void failedWriteIsReported()
    {
        testsupport::ScriptedPrompts prompts;
        QVERIFY(QDir(m_cwd->path()).mkdir(QStringLiteral("korvix.ini")));
        auto *form = new settings::OptionForm;
        child<QLineEdit>(form, "Pop3Text")->setText(QStringLiteral("pop.new"));
        QTest::mouseClick(child<QPushButton>(form, "OkCommand"), Qt::LeftButton);
        flushDeletes();
        QCOMPARE(prompts.informTexts(), QStringList{settings::accountFileWriteFailedText()});
        QCOMPARE(settings::accountSettings().Pop3Server, QStringLiteral("pop.new"));
    }

    void credentialsWindowStartsFromTheFileWithTheBoxClear()
    {
        testsupport::TempProgramFolder folder;
        folder.writeDataFile(QStringLiteral("iniIdPass.ini"), "[EXEINI]\r\nNAME=taro\r\nNAME2=secret\r\nNAME3=1\r\n");
        settings::IdpassForm form;
        QCOMPARE(form.windowTitle(), QStringLiteral("ID,PASS"));
        QCOMPARE(form.idText(), QStringLiteral("taro"));
        QCOMPARE(form.passText(), QStringLiteral("secret"));
        QVERIFY(!child<QCheckBox>(&form, "Check1")->isChecked());
        QVERIFY(child<QCheckBox>(&form, "Check1")->text().isEmpty());
        QCOMPARE(child<QLabel>(&form, "saveLabel")->text(), QStringLiteral("IDパスワードを保存する"));
        QCOMPARE(child<QLineEdit>(&form, "PassText")->echoMode(), QLineEdit::Password);
        QCOMPARE(child<QPushButton>(&form, "OKCommand")->text(), QStringLiteral("OK"));
        QCOMPARE(child<QPushButton>(&form, "CancelCommand")->text(), QStringLiteral("Cancel"));
    }

    void okWithTheBoxTickedSavesThePair()
    {
        testsupport::TempProgramFolder folder;
        testsupport::ScriptedPrompts prompts;
        QPointer<settings::IdpassForm> form = new settings::IdpassForm;
        form->show();
        QTest::keyClicks(child<QLineEdit>(form, "IdText"), QStringLiteral("hanako"));
        QTest::keyClicks(child<QLineEdit>(form, "PassText"), QStringLiteral("p w"));
        child<QCheckBox>(form, "Check1")->setChecked(true);
        // Enter in a text box is "OK".
        QTest::keyClick(child<QLineEdit>(form, "PassText"), Qt::Key_Return);
        flushDeletes();
        QVERIFY(form.isNull());
        QCOMPARE(credential("NAME"), QStringLiteral("hanako"));
        QCOMPARE(credential("NAME2"), QStringLiteral("p w"));
        QCOMPARE(credential("NAME3"), QStringLiteral("1"));

        // Reopened: the saved pair, the box clear again.
        settings::IdpassForm again;
        QCOMPARE(again.idText(), QStringLiteral("hanako"));
        QCOMPARE(again.passText(), QStringLiteral("p w"));
        QVERIFY(!child<QCheckBox>(&again, "Check1")->isChecked());
        QVERIFY(prompts.shown.isEmpty());
    }

    void okWithTheBoxClearKeepsTheSavedPair()
    {
        testsupport::TempProgramFolder folder;
        folder.writeDataFile(QStringLiteral("iniIdPass.ini"), "[EXEINI]\r\nNAME=taro\r\nNAME2=secret\r\nNAME3=1\r\n");
        QPointer<settings::IdpassForm> form = new settings::IdpassForm;
        child<QLineEdit>(form, "IdText")->setText(QStringLiteral("changed"));
        QTest::mouseClick(child<QPushButton>(form, "OKCommand"), Qt::LeftButton);
        flushDeletes();
        QVERIFY(form.isNull());
        QCOMPARE(credential("NAME"), QStringLiteral("taro"));
        QCOMPARE(credential("NAME2"), QStringLiteral("secret"));
        QCOMPARE(credential("NAME3"), QStringLiteral("0"));
    }

    void cancelTouchesNothing()
    {
        testsupport::TempProgramFolder folder;
        for (bool byKey : {false, true}) {
            QPointer<settings::IdpassForm> form = new settings::IdpassForm;
            form->show();
            child<QLineEdit>(form, "IdText")->setText(QStringLiteral("x"));
            child<QCheckBox>(form, "Check1")->setChecked(true);
            if (byKey)
                QTest::keyClick(child<QLineEdit>(form, "IdText"), Qt::Key_Escape);
            else
                QTest::mouseClick(child<QPushButton>(form, "CancelCommand"), Qt::LeftButton);
            flushDeletes();
            QVERIFY(form.isNull());
            QVERIFY(!QFile::exists(settings::credentialsFilePath()));
        }
    }

    void failedCredentialsSaveIsReported()
    {
        testsupport::TempProgramFolder folder;
        testsupport::ScriptedPrompts prompts;
        QVERIFY(QDir(folder.dataFolder()).removeRecursively());
        auto *form = new settings::IdpassForm;
        child<QCheckBox>(form, "Check1")->setChecked(true);
        QTest::mouseClick(child<QPushButton>(form, "OKCommand"), Qt::LeftButton);
        flushDeletes();
        QCOMPARE(prompts.informTexts(), QStringList{settings::credentialsWriteFailedText()});
    }

    void hubAsksForTheTwoWindows()
    {
        settings::SetForm hub;
        QCOMPARE(hub.windowTitle(), QStringLiteral("設定"));
        QSignalSpy server(&hub, &settings::SetForm::serverSettingsRequested);
        QSignalSpy credentials(&hub, &settings::SetForm::credentialsRequested);
        auto *pop = child<QPushButton>(&hub, "Command2");
        auto *idpass = child<QPushButton>(&hub, "Command1");
        QCOMPARE(pop->text(), QStringLiteral("POPサーバー"));
        QCOMPARE(idpass->text(), QStringLiteral("ID/PASS"));
        QTest::mouseClick(pop, Qt::LeftButton);
        QCOMPARE(server.count(), 1);
        QCOMPARE(credentials.count(), 0);
        QTest::mouseClick(idpass, Qt::LeftButton);
        QCOMPARE(credentials.count(), 1);
        QCOMPARE(server.count(), 1);
    }

private:
    std::unique_ptr<QTemporaryDir> m_cwd;
    QString m_oldCwd;
};

QTEST_MAIN(TestSettingsWindows)
#include "tst_SettingsWindows.moc"
