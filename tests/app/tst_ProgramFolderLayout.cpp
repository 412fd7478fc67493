#include <QDir>
#include <QFile>
#include <QImage>
#include <QTest>

// The program folder the build lays out, and the pictures in it and in the
// program, as the scene and the litter game load them.
class TestProgramFolderLayout : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void foldersExist()
    {
        const QDir root(QStringLiteral(GLIMRA_PROGRAM_DIR));
        QVERIFY(root.exists(QStringLiteral("★MailData/Adata")));
        QVERIFY(root.exists(QStringLiteral("添付フォルダ")));
        QVERIFY(root.exists(QStringLiteral("■TextQuickSave")));
    }

    void picturesInTheDataFolder_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("transparent");
        QTest::newRow("Back.jpg") << "Back.jpg" << QSize(551, 420) << false;
        QTest::newRow("Kan.gif") << "Kan.gif" << QSize(32, 32) << true;
        QTest::newRow("Kami.gif") << "Kami.gif" << QSize(32, 32) << true;
        QTest::newRow("Tabako.gif") << "Tabako.gif" << QSize(32, 32) << true;
    }
    void picturesInTheDataFolder()
    {
        QFETCH(QString, name);
        QFETCH(QSize, size);
        QFETCH(bool, transparent);
        const QString path = QStringLiteral(GLIMRA_PROGRAM_DIR "/★MailData/Adata/") + name;
        const QImage image(path);
        QVERIFY2(!image.isNull(), qPrintable(path));
        QCOMPARE(image.size(), size);
        if (transparent) {
            // The litter lies on the scene: its corners let the scene through,
            // its middle does not.
            const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
            QCOMPARE(qAlpha(argb.pixel(0, 0)), 0);
            QCOMPARE(qAlpha(argb.pixel(16, 16)), 255);
        }
    }

    void toolbarIconsInTheProgram_data()
    {
        QTest::addColumn<QString>("key");
        for (const char *key : {"New", "Jyushin", "Tyakushin", "Set", "Address"})
            QTest::newRow(key) << QString::fromLatin1(key);
    }
    void toolbarIconsInTheProgram()
    {
        QFETCH(QString, key);
        const QImage icon(QStringLiteral(":/icons/") + key + QStringLiteral(".png"));
        QCOMPARE(icon.size(), QSize(32, 32));
    }
};

QTEST_MAIN(TestProgramFolderLayout)
#include "tst_ProgramFolderLayout.moc"
