#include "common/ProgramFolder.h"

#include <QDir>
#include <QFile>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

// Where the program keeps its folders, for a program file in the build's
// folder, in an install and elsewhere, and what a first start lays out.
class TestProgramFolderChoice : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void resolution_data()
    {
        QTest::addColumn<QString>("programDir"); // under the scratch folder
        QTest::addColumn<QStringList>("environment");
        QTest::addColumn<QString>("expected"); // under the scratch folder
        QTest::addColumn<bool>("installed");
        const QStringList home{QStringLiteral("HOME=@/home")};
        QTest::newRow("laid-out folder wins over the variable")
            << "layout" << QStringList{QStringLiteral("GLIMRA_PROGRAM_DIR=@/chosen")} << "layout" << false;
        QTest::newRow("install, variable") << "usr/bin" << QStringList{QStringLiteral("GLIMRA_PROGRAM_DIR=@/chosen")}
                                           << "chosen" << true;
        QTest::newRow("install, XDG data home")
            << "usr/bin" << (home + QStringList{QStringLiteral("XDG_DATA_HOME=@/data")}) << "data/GlimraMail" << true;
        QTest::newRow("install, relative XDG data home is ignored")
            << "usr/bin" << (home + QStringList{QStringLiteral("XDG_DATA_HOME=data")}) << "home/.local/share/GlimraMail"
            << true;
        QTest::newRow("install, home only") << "usr/bin" << home << "home/.local/share/GlimraMail" << true;
        QTest::newRow("bare folder") << "bare" << QStringList{QStringLiteral("GLIMRA_PROGRAM_DIR=@/chosen")} << "bare"
                                     << false;
    }
    void resolution()
    {
        QFETCH(QString, programDir);
        QFETCH(QStringList, environment);
        QFETCH(QString, expected);
        QFETCH(bool, installed);
        QTemporaryDir scratch;
        QDir root(scratch.path());
        QVERIFY(root.mkpath(QStringLiteral("layout/★MAilData")));
        QVERIFY(root.mkpath(QStringLiteral("usr/bin")) && root.mkpath(QStringLiteral("usr/share/glimramail")));
        QVERIFY(root.mkpath(QStringLiteral("bare")));
        QProcessEnvironment env;
        for (const QString &entry : environment)
            env.insert(entry.section(u'=', 0, 0), entry.section(u'=', 1).replace(u'@', scratch.path()));

        const common::ProgramFolderChoice choice = common::resolveProgramFolder(root.filePath(programDir), env);
        QCOMPARE(choice.path, root.filePath(expected));
        QCOMPARE(choice.installed, installed);
    }

    // A first start lays out the folder from the install; a later one keeps
    // what the user has there.
    void firstStartLaysOutTheFolder()
    {
        QTemporaryDir scratch;
        QDir root(scratch.path());
        QVERIFY(root.mkpath(QStringLiteral("share/glimramail/Adata")));
        for (const QString &name : common::pictureFileNames()) {
            QFile picture(root.filePath(QStringLiteral("share/glimramail/Adata/") + name));
            QVERIFY(picture.open(QIODevice::WriteOnly) && picture.write(name.toLatin1()) > 0);
        }
        const common::ProgramFolderChoice choice{root.filePath(QStringLiteral("home/GlimraMail")), true,
                                                 root.filePath(QStringLiteral("share/glimramail"))};
        QCOMPARE(common::prepareProgramFolder(choice), QStringList());
        QVERIFY(root.exists(QStringLiteral("home/GlimraMail/添付フォルダ")));
        QVERIFY(root.exists(QStringLiteral("home/GlimraMail/■TextQuickSave")));

        QFile back(root.filePath(QStringLiteral("home/GlimraMail/★MailData/Adata/Back.jpg")));
        QVERIFY(back.open(QIODevice::ReadWrite));
        QCOMPARE(back.readAll(), QByteArray("Back.jpg"));
        back.resize(0);
        back.write("the user's own");
        back.close();
        QCOMPARE(common::prepareProgramFolder(choice), QStringList());
        QVERIFY(back.open(QIODevice::ReadOnly));
        QCOMPARE(back.readAll(), QByteArray("the user's own"));
    }
};

QTEST_GUILESS_MAIN(TestProgramFolderChoice)
#include "tst_ProgramFolderChoice.moc"
