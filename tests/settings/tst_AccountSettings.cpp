#include "common/Cp932.h"
#include "settings/AccountSettings.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using settings::AccountSettings;

namespace {

// Runs a test inside a fresh current directory and puts the old one back.
class TempCurrentDir
{
public:
    TempCurrentDir() : m_old(QDir::currentPath()) { QDir::setCurrent(m_dir.path()); }
    ~TempCurrentDir() { QDir::setCurrent(m_old); }
    [[nodiscard]] QString path() const { return m_dir.path(); }
    void write(const QByteArray &bytes, const QString &name = QStringLiteral("korvix.ini")) const
    {
        QFile f(m_dir.filePath(name));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    [[nodiscard]] QByteArray read(const QString &name = QStringLiteral("korvix.ini")) const
    {
        QFile f(m_dir.filePath(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

private:
    QString m_old;
    QTemporaryDir m_dir;
};

AccountSettings parse(const QByteArray &content)
{
    AccountSettings s;
    settings::applyAccountFileContent(content, &s);
    return s;
}

} // namespace

class TestAccountSettings : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init() { settings::accountSettings() = AccountSettings(); }

    void readsTheFourKeys()
    {
        const AccountSettings s = parse(common::toCp932(
            QStringLiteral("SMTP=smtp.example.jp\r\nPOP3=pop.example.jp\r\nMAIL=山田@example.jp\r\nAPOP=1\r\n")));
        QCOMPARE(s.SmtpServer, QStringLiteral("smtp.example.jp"));
        QCOMPARE(s.Pop3Server, QStringLiteral("pop.example.jp"));
        QCOMPARE(s.MailAddress, QStringLiteral("山田@example.jp"));
        QCOMPARE(s.UseApop, qint16(1));
    }

    void keyRules_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("pop3");
        QTest::addColumn<QString>("mail");
        QTest::newRow("lower-case key ignored") << QByteArray("pop3=a\r\nmail=b\r\n") << QString() << QString();
        QTest::newRow("blank after = belongs to value") << QByteArray("POP3= a \r\n") << QStringLiteral(" a ")
                                                        << QString();
        QTest::newRow("blank before = is no key") << QByteArray("POP3 =a\r\n") << QString() << QString();
        QTest::newRow("last of repeated keys wins") << QByteArray("MAIL=first\r\nMAIL=second\r\n") << QString()
                                                    << QStringLiteral("second");
        QTest::newRow("repeated key emptied") << QByteArray("MAIL=first\r\nMAIL=\r\n") << QString() << QString();
        QTest::newRow("unknown lines skipped") << QByteArray("[x]\r\nUSER=me\r\n\r\nPOP3=p\r\n")
                                               << QStringLiteral("p") << QString();
        QTest::newRow("last line without line end") << QByteArray("POP3=p") << QStringLiteral("p") << QString();
        QTest::newRow("lone LF ends a line") << QByteArray("POP3=p\nMAIL=m\n") << QStringLiteral("p")
                                             << QStringLiteral("m");
        QTest::newRow("lone CR ends a line") << QByteArray("POP3=p\rMAIL=m") << QStringLiteral("p")
                                             << QStringLiteral("m");
    }
    void keyRules()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, pop3);
        QFETCH(QString, mail);
        const AccountSettings s = parse(content);
        QCOMPARE(s.Pop3Server, pop3);
        QCOMPARE(s.MailAddress, mail);
    }

    void valuesAreCutToHundredCharacters()
    {
        const QString longValue = QString(150, QLatin1Char('x'));
        QCOMPARE(parse("SMTP=" + longValue.toLatin1()).SmtpServer, QString(100, QLatin1Char('x')));
        // Characters, not bytes: a hundred double-byte characters stay whole.
        const QString japanese = QString(120, QChar(u'蛍'));
        QCOMPARE(parse(common::toCp932(QStringLiteral("MAIL=") + japanese)).MailAddress, QString(100, QChar(u'蛍')));
    }

    void apopIsReadAsANumber_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<int>("expected");
        QTest::newRow("one") << QByteArray("1") << 1;
        QTest::newRow("zero") << QByteArray("0") << 0;
        QTest::newRow("no number") << QByteArray("yes") << 0;
        QTest::newRow("empty") << QByteArray("") << 0;
        QTest::newRow("leading part") << QByteArray("1abc") << 1;
        QTest::newRow("blanks skipped") << QByteArray(" 1") << 1;
        QTest::newRow("half to even down") << QByteArray("0.5") << 0;
        QTest::newRow("half to even up") << QByteArray("1.5") << 2;
        QTest::newRow("rounded") << QByteArray("0.7") << 1;
        QTest::newRow("negative") << QByteArray("-1") << -1;
        QTest::newRow("exponent") << QByteArray("1e1") << 10;
        QTest::newRow("dangling exponent") << QByteArray("1e") << 1;
        QTest::newRow("too large kept in range") << QByteArray("99999999") << 32767;
        QTest::newRow("too small kept in range") << QByteArray("-99999999") << -32768;
    }
    void apopIsReadAsANumber()
    {
        QFETCH(QByteArray, value);
        QFETCH(int, expected);
        QCOMPARE(int(parse("APOP=" + value + "\r\n").UseApop), expected);
    }

    void missingApopLineLeavesZero()
    {
        QCOMPARE(parse("SMTP=a\r\nPOP3=b\r\n").UseApop, qint16(0));
    }

    void writesExactlyFourLines()
    {
        AccountSettings s{QStringLiteral("smtp.example.jp"), QStringLiteral("pop.example.jp"),
                          QStringLiteral("花子@example.jp"), 1};
        QCOMPARE(settings::accountFileContent(s),
                 common::toCp932(QStringLiteral("SMTP=smtp.example.jp\r\nPOP3=pop.example.jp\r\n"
                                                "MAIL=花子@example.jp\r\nAPOP=1\r\n")));
        QCOMPARE(settings::accountFileContent(AccountSettings()), QByteArray("SMTP=\r\nPOP3=\r\nMAIL=\r\nAPOP=0\r\n"));
    }

    void loadAndSaveUseTheCurrentDirectory()
    {
        TempCurrentDir dir;
        dir.write("POP3=old\r\nSMTP=s\r\nnoise\r\n");
        settings::LoadAccountFile();
        QCOMPARE(settings::accountSettings().Pop3Server, QStringLiteral("old"));
        QCOMPARE(settings::accountSettings().SmtpServer, QStringLiteral("s"));

        settings::accountSettings().Pop3Server = QStringLiteral("new");
        QVERIFY(settings::SaveAccountFile());
        QCOMPARE(dir.read(), QByteArray("SMTP=s\r\nPOP3=new\r\nMAIL=\r\nAPOP=0\r\n"));

        // A round trip gives the same settings back.
        const AccountSettings saved = settings::accountSettings();
        settings::accountSettings() = AccountSettings();
        settings::LoadAccountFile();
        QCOMPARE(settings::accountSettings(), saved);
    }

    void missingFileLeavesSettingsAlone()
    {
        TempCurrentDir dir;
        settings::accountSettings().SmtpServer = QStringLiteral("kept");
        settings::LoadAccountFile();
        QCOMPARE(settings::accountSettings().SmtpServer, QStringLiteral("kept"));
        QVERIFY(!QFile::exists(dir.path() + QStringLiteral("/korvix.ini")));
    }

    void fileNameMatchesWithoutRegardToCase()
    {
        TempCurrentDir dir;
        dir.write("POP3=upper\r\n", QStringLiteral("KORVIX.INI"));
        settings::LoadAccountFile();
        QCOMPARE(settings::accountSettings().Pop3Server, QStringLiteral("upper"));
        QVERIFY(settings::SaveAccountFile());
        QCOMPARE(dir.read(QStringLiteral("KORVIX.INI")), QByteArray("SMTP=\r\nPOP3=upper\r\nMAIL=\r\nAPOP=0\r\n"));
        QVERIFY(!QFile::exists(dir.path() + QStringLiteral("/korvix.ini")));
    }

    void failedWriteIsReportedAndKeepsMemory()
    {
        TempCurrentDir dir;
        // A folder in the file's place cannot be replaced by a file.
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("korvix.ini")));
        settings::accountSettings().Pop3Server = QStringLiteral("in memory");
        QVERIFY(!settings::SaveAccountFile());
        QCOMPARE(settings::accountSettings().Pop3Server, QStringLiteral("in memory"));
        QVERIFY(settings::accountFileWriteFailedText().contains(QStringLiteral("korvix.ini")));
    }
};

QTEST_GUILESS_MAIN(TestAccountSettings)
#include "tst_AccountSettings.moc"
