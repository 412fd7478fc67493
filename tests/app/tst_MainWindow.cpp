#include "addressbook/ui/FriendForm.h"
#include "app/MainHelp.h"
#include "app/ui/Fonts.h"
#include "app/ui/MainForm.h"
#include "app/ui/StandbyWindow.h"
#include "app/ui/WindowHub.h"
#include "common/Cp932.h"
#include "common/ProfileFile.h"
#include "compose/ui/WriteForm.h"
#include "habitat/Habitat.h"
#include "habitat/HabitatHalted.h"
#include "habitat/LitterGame.h"
#include "habitat/LitterTick.h"
#include "habitat/ui/SceneCanvas.h"
#include "receive/MailStore.h"
#include "settings/AccountSettings.h"
#include "settings/ui/IdpassForm.h"
#include "settings/ui/OptionForm.h"
#include "settings/ui/SetForm.h"
#include "support/ScriptedPrompts.h"
#include "support/ScriptedRandom.h"
#include "support/TempProgramFolder.h"
#include "support/WindowDriving.h"
#include "viewer/ui/TyakuForm.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFontInfo>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextEdit>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

namespace {

constexpr double DrawPaper = 4.5 / 200; // n = 5: waste paper
constexpr double DrawNothing = 0.5;

using testsupport::control;
using testsupport::flushDeletes;
using testsupport::hover;

// One run of the program: a program folder, a working directory, scripted
// prompts and random numbers, the habitat and the main window with the mail
// layer and the end of the process recorded instead of done.
struct Run
{
    testsupport::TempProgramFolder folder;
    QTemporaryDir workingDir;
    QString oldCwd = QDir::currentPath();
    testsupport::ScriptedPrompts prompts;
    testsupport::ScriptedRandom random{DrawNothing};
    QStringList calls;
    std::unique_ptr<habitat::Habitat> habitat;
    std::unique_ptr<app::MainForm> form;

    Run()
    {
        QDir::setCurrent(workingDir.path());
        settings::accountSettings() = settings::AccountSettings();
        habitat::HabitatHalted = 0;
        habitat::litterTick().resume();
        const QString pictures = qEnvironmentVariable("GLIMRA_SOURCE_DIR") + QStringLiteral("/assets/habitat/");
        for (const char *name : {"Kan.gif", "Kami.gif", "Tabako.gif", "Back.jpg"})
            QFile::copy(pictures + QLatin1String(name),
                        folder.dataFile(QStringLiteral("Adata/") + QLatin1String(name)));
    }
    ~Run()
    {
        form.reset();
        flushDeletes();
        QDir::setCurrent(oldCwd);
    }

    void writeAccountAndCredentials()
    {
        QFile account(workingDir.filePath(QStringLiteral("korvix.ini")));
        QVERIFY(account.open(QIODevice::WriteOnly));
        account.write("SMTP=smtp.example.jp\r\nPOP3=pop.example.jp\r\nMAIL=me@example.jp\r\nAPOP=0\r\n");
        folder.writeDataFile(QStringLiteral("iniIdPass.ini"), "[EXEINI]\r\nNAME=taro\r\nNAME2=secret\r\nNAME3=1\r\n");
    }

    app::MainForm &start()
    {
        habitat = std::make_unique<habitat::Habitat>();
        form = std::make_unique<app::MainForm>(*habitat);
        app::MainFormServices services;
        services.startMailLayer = [this] { calls << QStringLiteral("start"); };
        services.stopMailLayer = [this] { calls << QStringLiteral("stop"); };
        services.endProcess = [this] { calls << QStringLiteral("end"); };
        form->setServices(services);
        form->Form_Load();
        form->show();
        return *form;
    }

    QWidget *operator[](const char *name) const { return control(form.get(), QString::fromLatin1(name)); }
    QPlainTextEdit *helpBox() const { return control<QPlainTextEdit>(form.get(), QStringLiteral("Text1")); }
    habitat::LitterGame &game() const { return form->litterGame(); }
    QTimer *timer(const char *name) const { return control<QTimer>(form.get(), QString::fromLatin1(name)); }

    void throwPaper()
    {
        random.push({DrawPaper});
        game().Timer3_Timer();
    }
};

// What a screen reader says a control is called.
QString accessibleName(QWidget *w)
{
    QAccessibleInterface *face = QAccessible::queryAccessibleInterface(w);
    return face ? face->text(QAccessible::Name).trimmed() : QString();
}

// Controls a user operates: buttons, check boxes, text boxes, lists and
// combo boxes. Parts that Qt builds into a control (scroll bars, a combo
// box's own text box, the toolbar's overflow button, named "qt_...") belong
// to the control around them.
bool operable(QWidget *w)
{
    if (w->objectName().startsWith(QLatin1String("qt_")))
        return false;
    for (QWidget *up = w->parentWidget(); up && !up->isWindow(); up = up->parentWidget())
        if (qobject_cast<QComboBox *>(up) || qobject_cast<QAbstractSpinBox *>(up))
            return false;
    return qobject_cast<QAbstractButton *>(w) || qobject_cast<QLineEdit *>(w) || qobject_cast<QPlainTextEdit *>(w)
           || qobject_cast<QTextEdit *>(w) || qobject_cast<QAbstractItemView *>(w) || qobject_cast<QComboBox *>(w)
           || qobject_cast<QAbstractSpinBox *>(w);
}

QWidget *settingsWindow(app::MainForm &form, const QString &name)
{
    if (name == QLatin1String("SetForm"))
        return form.windows().showSetForm();
    if (name == QLatin1String("OptionForm"))
        return form.windows().showOptionForm();
    if (name == QLatin1String("IdpassForm"))
        return form.windows().showIdpassForm();
    return &form;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void startWithNothingSetShowsBothSettingsWindows()
    {
        Run run;
        app::MainForm &form = run.start();
        settings::OptionForm *options = form.windows().loadedOptionForm();
        settings::IdpassForm *credentials = form.windows().loadedIdpassForm();
        QVERIFY(options && options->isVisible());
        QVERIFY(credentials && credentials->isVisible());
        QCOMPARE(run.calls, QStringList{QStringLiteral("start")});
        // The store is created and its count shown.
        QVERIFY(QFile::exists(run.folder.dataFile(QStringLiteral("krxdata2.data"))));
        QCOMPARE(control<QLineEdit>(&form, QStringLiteral("Text4"))->text(), QStringLiteral("0"));
        // Everything of the litter game and the boxes start hidden.
        for (const char *name : {"Label5", "Text7", "Bar1", "Image1", "Image2", "Image3", "Image4", "Image5",
                                 "Text2", "Text1"})
            QVERIFY2(!run[name]->isVisible(), name);
        QVERIFY(!control<QCheckBox>(&form, QStringLiteral("Check1"))->isChecked());
        QVERIFY(!control<QCheckBox>(&form, QStringLiteral("Check2"))->isChecked());
        QVERIFY(run.prompts.shown.isEmpty());
    }

    void startWithEverythingSetAsksForNothing()
    {
        Run run;
        run.writeAccountAndCredentials();
        receive::MailStore store;
        QVERIFY(store.createIfMissing().ok());
        for (int n = 1; n <= 3; ++n)
            QVERIFY(store.PutMailRecord(n, QStringLiteral("件名"), QStringLiteral("a@b"), QStringLiteral("d"),
                                        QStringLiteral("本文")).ok());
        app::MainForm &form = run.start();
        QVERIFY(!form.windows().loadedOptionForm());
        // The credentials window is loaded, filled and hidden.
        QVERIFY(form.windows().loadedIdpassForm());
        QVERIFY(!form.windows().loadedIdpassForm()->isVisible());
        QCOMPARE(form.windows().loadedIdpassForm()->idText(), QStringLiteral("taro"));
        QCOMPARE(settings::accountSettings().Pop3Server, QStringLiteral("pop.example.jp"));
        QCOMPARE(control<QLineEdit>(&form, QStringLiteral("Text4"))->text(), QStringLiteral("3"));
    }

    void missingPasswordAloneShowsTheCredentialsWindow()
    {
        Run run;
        run.writeAccountAndCredentials();
        run.folder.writeDataFile(QStringLiteral("iniIdPass.ini"), "[EXEINI]\r\nNAME=taro\r\n");
        app::MainForm &form = run.start();
        QVERIFY(!form.windows().loadedOptionForm());
        QVERIFY(form.windows().loadedIdpassForm()->isVisible());
    }

    void boxesComeFromTheProfileAndGoBackAtUnload_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("number2");
        QTest::addColumn<bool>("help");
        QTest::addColumn<bool>("autoShow");
        QTest::newRow("1 and 0") << QStringLiteral("1") << QStringLiteral("0") << true << false;
        QTest::newRow("0 and 1") << QStringLiteral("0") << QStringLiteral("1") << false << true;
        QTest::newRow("7 leaves the box clear") << QStringLiteral("7") << QStringLiteral("7") << false << false;
    }
    void boxesComeFromTheProfileAndGoBackAtUnload()
    {
        QFETCH(QString, number);
        QFETCH(QString, number2);
        QFETCH(bool, help);
        QFETCH(bool, autoShow);
        Run run;
        QVERIFY(common::ProfileWrite(QStringLiteral("NUMBER"), number));
        QVERIFY(common::ProfileWrite(QStringLiteral("NUMBER2"), number2));
        app::MainForm &form = run.start();
        QCOMPARE(control<QCheckBox>(&form, QStringLiteral("Check1"))->isChecked(), help);
        QCOMPARE(control<QCheckBox>(&form, QStringLiteral("Check2"))->isChecked(), autoShow);
        QCOMPARE(run.helpBox()->isVisible(), help);
        // Nothing is written before the window closes.
        QCOMPARE(common::ProfileReadText(QStringLiteral("NUMBER"), QString()), number);
        form.close();
        QCOMPARE(common::ProfileReadText(QStringLiteral("NUMBER"), QString()), help ? QStringLiteral("1") : QStringLiteral("0"));
        QCOMPARE(common::ProfileReadText(QStringLiteral("NUMBER2"), QString()),
                 autoShow ? QStringLiteral("1") : QStringLiteral("0"));
        QCOMPARE(run.calls, (QStringList{QStringLiteral("start"), QStringLiteral("stop"), QStringLiteral("end")}));
    }

    void tickingTheBoxesIsWrittenAtUnload()
    {
        Run run;
        app::MainForm &form = run.start();
        QTest::mouseClick(control<QCheckBox>(&form, QStringLiteral("Check1")), Qt::LeftButton);
        QTest::mouseClick(control<QCheckBox>(&form, QStringLiteral("Check2")), Qt::LeftButton);
        QVERIFY(run.helpBox()->isVisible());
        form.close();
        QCOMPARE(common::ProfileReadText(QStringLiteral("NUMBER"), QString()), QStringLiteral("1"));
        QCOMPARE(common::ProfileReadText(QStringLiteral("NUMBER2"), QString()), QStringLiteral("1"));
    }

    void hoverExplainsControls_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("topic");
        QTest::newRow("toolbar button") << QStringLiteral("Set") << int(app::HelpTopic::Toolbar);
        QTest::newRow("toolbar") << QStringLiteral("tbToolBar") << int(app::HelpTopic::Toolbar);
        QTest::newRow("Check1") << QStringLiteral("Check1") << int(app::HelpTopic::Check1);
        QTest::newRow("Check2") << QStringLiteral("Check2") << int(app::HelpTopic::Check2);
        QTest::newRow("Command1") << QStringLiteral("Command1") << int(app::HelpTopic::Command1);
        QTest::newRow("Text3") << QStringLiteral("Text3") << int(app::HelpTopic::Text3);
        QTest::newRow("Text4") << QStringLiteral("Text4") << int(app::HelpTopic::Text4);
        QTest::newRow("Text6") << QStringLiteral("Text6") << int(app::HelpTopic::Text6);
    }
    void hoverExplainsControls()
    {
        QFETCH(QString, name);
        QFETCH(int, topic);
        Run run;
        app::MainForm &form = run.start();
        hover(control(&form, name));
        QVERIFY(run.helpBox()->isVisible());
        QCOMPARE(run.helpBox()->toPlainText(),
                 app::helpText(app::HelpTopic(topic)).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    }

    void helpBoxHidesOnThePanelAndEmptiesOnTheScene()
    {
        Run run;
        QVERIFY(common::ProfileWrite(QStringLiteral("NUMBER"), QStringLiteral("1")));
        app::MainForm &form = run.start();
        hover(run["Text6"]);
        QCOMPARE(run.helpBox()->toPlainText(),
                 QStringLiteral("新着メール受信で、新着メール数を表示します。新着メールがなければ「０」が表示されます。"));
        QCOMPARE(run.helpBox()->geometry(), QRect(368, 104, 169, 121));
        hover(run["Frame1"]);
        QVERIFY(!run.helpBox()->isVisible());
        QVERIFY(!run.helpBox()->toPlainText().isEmpty());
        hover(run["Text6"]);
        hover(form.sceneCanvas());
        QVERIFY(!run.helpBox()->isVisible());
        QVERIFY(run.helpBox()->toPlainText().isEmpty());
    }

    void litterTickPlacesTheHelpBox()
    {
        Run run;
        QVERIFY(common::ProfileWrite(QStringLiteral("NUMBER"), QStringLiteral("1")));
        app::MainForm &form = run.start();
        QTest::mouseClick(control<QCheckBox>(&form, QStringLiteral("Check1")), Qt::LeftButton);
        QVERIFY(!run.helpBox()->isVisible());
        hover(run["Text3"]);
        QCOMPARE(run.helpBox()->y(), 104); // still in sight until the next tick
        run.game().Timer3_Timer();
        QCOMPARE(run.helpBox()->y(), -1000);
        hover(run["Text4"]);
        QVERIFY(run.helpBox()->isVisible());
        QCOMPARE(run.helpBox()->y(), -1000);
        QTest::mouseClick(control<QCheckBox>(&form, QStringLiteral("Check1")), Qt::LeftButton);
        run.game().Timer3_Timer();
        QCOMPARE(run.helpBox()->y(), 104);
    }

    void litterIsThrownAndClickedAway()
    {
        Run run;
        app::MainForm &form = run.start();
        run.throwPaper();
        const QImage paper(run.folder.dataFile(QStringLiteral("Adata/Kami.gif")));
        QVERIFY(!paper.isNull());
        for (int i = 1; i <= 5; ++i) {
            auto *picture = control<QLabel>(&form, QStringLiteral("Image%1").arg(i));
            QVERIFY(picture->isVisible());
            QCOMPARE(picture->pixmap().toImage().convertToFormat(QImage::Format_ARGB32),
                     paper.convertToFormat(QImage::Format_ARGB32));
        }
        auto *message = control<QPlainTextEdit>(&form, QStringLiteral("Text2"));
        QVERIFY(message->isVisible());
        QCOMPARE(message->toPlainText(), QStringLiteral("侵入者が紙くずを投げ捨てました。取り除いてください。（紙くずをマウスクリック！）"
                                                        "取り除かないと、蛍は死んでしまいます。"));
        QVERIFY(run["Label5"]->isVisible());
        auto *bar = control<QProgressBar>(&form, QStringLiteral("Bar1"));
        QVERIFY(bar->isVisible());
        QCOMPARE(bar->value(), 60);
        QCOMPARE(bar->maximum(), 60);
        QVERIFY(run.timer("Timer4")->isActive());
        QCOMPARE(control<QLineEdit>(&form, QStringLiteral("Text8"))->text(), QStringLiteral("60"));

        run.game().Timer4_Timer();
        QCOMPARE(bar->value(), 59);

        for (int i = 1; i <= 5; ++i)
            QTest::mouseClick(run[QStringLiteral("Image%1").arg(i).toLatin1().constData()], Qt::LeftButton);
        for (int i = 1; i <= 5; ++i)
            QVERIFY(!run[QStringLiteral("Image%1").arg(i).toLatin1().constData()]->isVisible());
        QVERIFY(bar->isVisible()); // until the next litter tick
        // The mark of the throw lasts until the next pass of the main loop.
        run.game().Timer3_Timer();
        QVERIFY(bar->isVisible());
        run.habitat->runPass();
        run.game().Timer3_Timer();
        QVERIFY(!message->isVisible());
        QVERIFY(!bar->isVisible());
        QVERIFY(!run["Label5"]->isVisible());
        QVERIFY(!run.timer("Timer4")->isActive());
        QVERIFY(run.prompts.shown.isEmpty());
    }

    void missingLitterPictureStillShowsSomethingToClick()
    {
        Run run;
        QVERIFY(QFile::remove(run.folder.dataFile(QStringLiteral("Adata/Kami.gif"))));
        app::MainForm &form = run.start();
        run.throwPaper();
        auto *picture = control<QLabel>(&form, QStringLiteral("Image3"));
        QVERIFY(picture->isVisible());
        QVERIFY(!picture->pixmap().isNull());
    }

    void countdownEndsInDeath()
    {
        Run run;
        app::MainForm &form = run.start();
        run.throwPaper();
        for (int tick = 0; tick < 60; ++tick)
            run.game().Timer4_Timer();
        QCOMPARE(run.prompts.informTexts(), QStringList{QStringLiteral("環境汚染がひどく、蛍は死んでしまいました・・・")});
        QCOMPARE(common::ProfileReadText(QStringLiteral("NAME"), QString()), QStringLiteral("1"));
        QVERIFY(!run["Bar1"]->isVisible());
        QVERIFY(run["Image1"]->isVisible());
        QVERIFY(run["Text2"]->isVisible());
        QCOMPARE(control<QLineEdit>(&form, QStringLiteral("Text8"))->text(), QStringLiteral("0"));

        // The next pass draws no fireflies and the litter tick stands still.
        run.habitat->runPass();
        QCOMPARE(habitat::HabitatHalted, std::int16_t(1));
        const habitat::FireflyScene before = run.habitat->scene();
        run.habitat->runPass();
        QVERIFY(run.habitat->scene().group(1) == before.group(1));
        const int draws = run.random.draws();
        run.game().Timer3_Timer();
        QCOMPARE(run.random.draws(), draws);
    }

    void rightClickOnAnyTitleLabelOffersRevival()
    {
        Run run;
        app::MainForm &form = run.start();
        auto *menu = control<QMenu>(&form, QStringLiteral("mpopup"));
        QCOMPARE(menu->title(), QStringLiteral("Popup"));
        for (int i = 0; i < 4; ++i) {
            QWidget *label = control(&form, QStringLiteral("Label1_%1").arg(i));
            QTest::mouseClick(label, Qt::LeftButton);
            QVERIFY(!menu->isVisible());
            QTest::mouseClick(label, Qt::RightButton);
            QVERIFY2(menu->isVisible(), qPrintable(label->objectName()));
            menu->close();
        }
        QCOMPARE(control<QLabel>(&form, QStringLiteral("Label1_1"))->text(), QStringLiteral("説明表示"));

        QVERIFY(common::ProfileWrite(QStringLiteral("NAME"), QStringLiteral("1")));
        auto *revive = menu->findChild<QAction *>(QStringLiteral("mfukatu"));
        QVERIFY(revive);
        QCOMPARE(revive->text(), QStringLiteral("蛍を復活させる"));
        revive->trigger();
        QCOMPARE(run.prompts.informTexts(), habitat::LitterGame::revivalTexts());
        QCOMPARE(run.prompts.informTexts().first(), QStringLiteral("蛍を復活させます。"));
        QCOMPARE(common::ProfileReadText(QStringLiteral("NAME"), QString()), QStringLiteral("0"));
        run.habitat->runPass();
        QCOMPARE(habitat::HabitatHalted, std::int16_t(0));
    }

    void settingsHubPausesTheLitterTick()
    {
        Run run;
        run.writeAccountAndCredentials();
        app::MainForm &form = run.start();
        QTimer *tick = run.timer("Timer3");
        QVERIFY(tick->isActive());
        QCOMPARE(tick->interval(), 1000);

        QTest::mouseClick(control<QToolButton>(&form, QStringLiteral("Set")), Qt::LeftButton);
        settings::SetForm *hub = form.windows().loadedSetForm();
        QVERIFY(hub && hub->isVisible());
        QVERIFY(!tick->isActive());
        // One hub at a time.
        QTest::mouseClick(control<QToolButton>(&form, QStringLiteral("Set")), Qt::LeftButton);
        QCOMPARE(form.windows().loadedSetForm(), hub);
        // The hub's buttons bring up the other two windows.
        QTest::mouseClick(control<QPushButton>(hub, QStringLiteral("Command2")), Qt::LeftButton);
        QVERIFY(form.windows().loadedOptionForm() && form.windows().loadedOptionForm()->isVisible());
        QTest::mouseClick(control<QPushButton>(hub, QStringLiteral("Command1")), Qt::LeftButton);
        QVERIFY(form.windows().loadedIdpassForm()->isVisible());

        // A pause by another part (the mail check, say) and the hub's end:
        // whoever ends first restarts the tick.
        habitat::litterTick().pause();
        hub->close();
        flushDeletes();
        QVERIFY(!form.windows().loadedSetForm());
        QVERIFY(tick->isActive());
        QCOMPARE(tick->interval(), 1000);
        habitat::litterTick().pause();
        QVERIFY(!tick->isActive());
        habitat::litterTick().resume();
        QVERIFY(tick->isActive());
    }

    // The viewer, the address book and the composer hold the tick as the
    // settings hub does, from their creation until they are gone.
    void windowsPauseTheLitterTick_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("window");
        QTest::newRow("viewer") << QStringLiteral("Tyakushin") << QStringLiteral("TyakuForm");
        QTest::newRow("address book") << QStringLiteral("Address") << QStringLiteral("FriendForm");
        QTest::newRow("composer") << QStringLiteral("New") << QStringLiteral("WriteForm");
    }
    void windowsPauseTheLitterTick()
    {
        QFETCH(QString, key);
        QFETCH(QString, window);
        Run run;
        run.writeAccountAndCredentials();
        app::MainForm &form = run.start();
        QTimer *tick = run.timer("Timer3");
        QVERIFY(tick->isActive());

        QTest::mouseClick(control<QToolButton>(&form, key), Qt::LeftButton);
        QWidget *opened = nullptr;
        for (QWidget *w : QApplication::topLevelWidgets())
            if (w->objectName() == window && w->isVisible())
                opened = w;
        QVERIFY(opened);
        QVERIFY(!tick->isActive());
        opened->close();
        flushDeletes();
        QVERIFY(tick->isActive());
        QCOMPARE(tick->interval(), 1000);
    }

    void checkButtonOpensNothingYet()
    {
        Run run;
        run.writeAccountAndCredentials();
        app::MainForm &form = run.start();
        const qsizetype windows = QApplication::topLevelWidgets().size();
        for (const char *key : {"Jyushin"}) {
            auto *button = control<QToolButton>(&form, QString::fromLatin1(key));
            QVERIFY(!button->icon().isNull());
            QTest::mouseClick(button, Qt::LeftButton);
        }
        QCOMPARE(QApplication::topLevelWidgets().size(), windows);
        QVERIFY(habitat::litterTick().isRunning());
    }

    // "New" and "Address" bring up the composer and the address book, one of
    // each, with the main window's help display setting; each pauses the
    // litter tick while it is open.
    void composerAndAddressBookFromTheToolbar()
    {
        Run run;
        run.writeAccountAndCredentials();
        app::MainForm &form = run.start();
        form.helpDisplayBox()->setChecked(true);
        QTimer *tick = run.timer("Timer3");
        for (const char *key : {"New", "Address"}) {
            auto *button = control<QToolButton>(&form, QString::fromLatin1(key));
            QVERIFY(!button->icon().isNull());
            QTest::mouseClick(button, Qt::LeftButton);
            QVERIFY(!tick->isActive());
            QTest::mouseClick(button, Qt::LeftButton);
        }
        QWidget *composer = form.windows().loadedWriteForm();
        QWidget *book = form.windows().loadedFriendForm();
        QVERIFY(composer && composer->isVisible());
        QVERIFY(book && book->isVisible());
        QCOMPARE(composer->windowTitle(), QStringLiteral("新規作成"));
        QCOMPARE(book->windowTitle(), QStringLiteral("アドレス帳"));
        qsizetype composers = 0;
        for (QWidget *w : QApplication::topLevelWidgets())
            composers += w->objectName() == QLatin1String("WriteForm") && w->isVisible();
        QCOMPARE(composers, 1);
        // The help boxes follow the main window's help display box.
        QVERIFY(composer->findChild<QWidget *>(QStringLiteral("Text14"))->y() > 0);
        QVERIFY(book->findChild<QWidget *>(QStringLiteral("Text5"))->y() > 0);
        composer->close();
        book->close();
        flushDeletes();
        QVERIFY(!form.windows().loadedWriteForm());
        QVERIFY(!form.windows().loadedFriendForm());
        QVERIFY(tick->isActive());
    }

    // The viewer's sender registration opens the address book with the sender.
    void senderRegistrationOpensTheAddressBook()
    {
        Run run;
        run.writeAccountAndCredentials();
        app::MainForm &form = run.start();
        viewer::TyakuForm *viewerForm = form.windows().tyakuForm();
        Q_EMIT viewerForm->registerSenderRequested(QStringLiteral("山田 <taro@example.jp>"));
        addressbook::FriendForm *book = form.windows().loadedFriendForm();
        QVERIFY(book && book->isVisible());
        QCOMPARE(book->findChild<QLineEdit *>(QStringLiteral("Text4"))->text(), QStringLiteral("山田 <taro@example.jp>"));
    }

    void toolbarButtonsInOrder()
    {
        Run run;
        app::MainForm &form = run.start();
        auto *bar = control<QToolBar>(&form, QStringLiteral("tbToolBar"));
        QCOMPARE(bar->geometry(), QRect(0, 0, 281, 58));
        QStringList keys, captions;
        for (QAction *action : bar->actions()) {
            keys << action->objectName();
            captions << action->text();
        }
        QCOMPARE(keys, (QStringList{"New", "Jyushin", "Tyakushin", "Set", "Address"}));
        QCOMPARE(captions, (QStringList{"新規作成", "受信", "着信履歴", "設定", "アドレス帳"}));
    }

    void controlsAtTheirPlaces_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QRect>("place");
        QTest::newRow("Frame1") << QStringLiteral("Frame1") << QRect(283, 20, 256, 81);
        QTest::newRow("Text5") << QStringLiteral("Text5") << QRect(127, 8, 121, 19);
        QTest::newRow("Text3") << QStringLiteral("Text3") << QRect(127, 24, 121, 20);
        QTest::newRow("Text6") << QStringLiteral("Text6") << QRect(227, 56, 25, 18);
        QTest::newRow("Text4") << QStringLiteral("Text4") << QRect(165, 56, 25, 18);
        QTest::newRow("Command1") << QStringLiteral("Command1") << QRect(85, 55, 33, 21);
        QTest::newRow("Text7") << QStringLiteral("Text7") << QRect(8, 136, 249, 49);
        QTest::newRow("Text2") << QStringLiteral("Text2") << QRect(344, 296, 193, 65);
        QTest::newRow("Label5") << QStringLiteral("Label5") << QRect(192, 208, 105, 17);
        QTest::newRow("Bar1") << QStringLiteral("Bar1") << QRect(8, 368, 529, 17);
        QTest::newRow("Image1") << QStringLiteral("Image1") << QRect(304, 184, 32, 32);
        QTest::newRow("Image2") << QStringLiteral("Image2") << QRect(160, 336, 32, 32);
        QTest::newRow("Image3") << QStringLiteral("Image3") << QRect(464, 128, 32, 32);
        QTest::newRow("Image4") << QStringLiteral("Image4") << QRect(56, 216, 32, 32);
        QTest::newRow("Image5") << QStringLiteral("Image5") << QRect(456, 256, 32, 32);
        QTest::newRow("Label2") << QStringLiteral("Label2") << QRect(5, 88, 153, 20);
    }
    void controlsAtTheirPlaces()
    {
        QFETCH(QString, name);
        QFETCH(QRect, place);
        Run run;
        run.start();
        QCOMPARE(control(run.form.get(), name)->geometry(), place);
    }

    void creditLabelsExplainAndOpenTheirPages()
    {
        Run run;
        app::MainForm &form = run.start();
        auto *credits = control<QPlainTextEdit>(&form, QStringLiteral("Text7"));
        QCOMPARE(control<QLabel>(&form, QStringLiteral("Label2"))->text(), QStringLiteral("Produce by GlimraMail project"));
        hover(run["Label2"]);
        QVERIFY(credits->isVisible());
        QCOMPARE(credits->toPlainText(), app::authorPage().hoverText);
        QTest::mouseClick(run["Label2"], Qt::LeftButton);
        hover(run["Label6"]);
        QVERIFY(credits->toPlainText().endsWith(QStringLiteral("\n死んだ蛍の復活方法を唯一知る人ですよ。")));
        QTest::mouseClick(run["Label6"], Qt::LeftButton);
        QTest::mouseClick(run["Label6"], Qt::RightButton);
        QCOMPARE(run.prompts.shown.size(), 2);
        QCOMPARE(run.prompts.shown[0].kind, QStringLiteral("url"));
        QCOMPARE(run.prompts.shown[0].text, app::authorPage().url);
        QCOMPARE(run.prompts.shown[1].text, app::designerPage().url);
        QVERIFY(app::authorPage().url.startsWith(QStringLiteral("https://")));
        hover(form.sceneCanvas());
        QVERIFY(!credits->isVisible());
    }

    void windowsFontNamesResolveToInstalledFonts()
    {
        app::installFontSubstitutions();
        QFont gothic(QStringLiteral("ＭＳ Ｐゴシック"));
        QVERIFY2(QFontInfo(gothic).family().startsWith(QStringLiteral("IPA")), qPrintable(QFontInfo(gothic).family()));
        QFont serif(QStringLiteral("Book Antiqua"));
        QVERIFY2(QFontInfo(serif).family().startsWith(QStringLiteral("P052")), qPrintable(QFontInfo(serif).family()));
    }

    void standbyAndReturn()
    {
        Run run;
        run.writeAccountAndCredentials();
        app::MainForm &form = run.start();
        QTest::mouseClick(run["Command1"], Qt::LeftButton);
        app::StandbyWindow *standby = form.standbyWindow();
        QVERIFY(standby);
        QVERIFY(standby->isVisible());
        QVERIFY(!form.isVisible());
        QCOMPARE(standby->windowTitle(), QStringLiteral("Glimra"));
        QVERIFY(standby->windowFlags() & Qt::WindowStaysOnTopHint);
        QVERIFY(!(standby->windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QCOMPARE(standby->size(), QSize(79, 39));
        auto *back = control<QPushButton>(standby, QStringLiteral("Command1"));
        QCOMPARE(back->text(), QStringLiteral("復帰"));
        QVERIFY(!control<QLabel>(standby, QStringLiteral("Image1"))->pixmap().isNull());

        QTest::mouseClick(back, Qt::LeftButton);
        QVERIFY(form.isVisible());
        QVERIFY(!standby->isVisible());

        // The same window serves the next standby; closing it brings the main window back.
        QTest::mouseClick(run["Command1"], Qt::LeftButton);
        QCOMPARE(form.standbyWindow(), standby);
        QVERIFY(!form.isVisible());
        standby->close();
        QVERIFY(form.isVisible());
        QVERIFY(!standby->isVisible());
        QVERIFY(run.calls.size() == 1); // no unload on the way
    }

    // A later start asks the running program for its window: the main
    // window, or during standby the standby window, which stays in charge.
    void bringToFrontKeepsStandby()
    {
        Run run;
        run.writeAccountAndCredentials();
        app::MainForm &form = run.start();
        form.showMinimized();
        form.bringToFront();
        QVERIFY(form.isVisible());
        QVERIFY(!form.isMinimized());

        QTest::mouseClick(run["Command1"], Qt::LeftButton);
        form.bringToFront();
        QVERIFY(!form.isVisible());
        QVERIFY(form.standbyWindow()->isVisible());
    }

    void everyOperableControlIsNamed_data()
    {
        QTest::addColumn<QString>("window");
        for (const char *window : {"MainForm", "SetForm", "OptionForm", "IdpassForm"})
            QTest::newRow(window) << QString::fromLatin1(window);
    }
    void everyOperableControlIsNamed()
    {
        QFETCH(QString, window);
        Run run;
        app::MainForm &form = run.start();
        QWidget *top = settingsWindow(form, window);
        QStringList unnamed;
        int seen = 0;
        for (QWidget *w : top->findChildren<QWidget *>()) {
            if (w->window() != top || !operable(w))
                continue;
            ++seen;
            if (accessibleName(w).isEmpty())
                unnamed << w->objectName() + QLatin1Char(':') + QString::fromLatin1(w->metaObject()->className());
        }
        QVERIFY(seen > 0);
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QLatin1String(", "))));
    }

    // Controls without a caption of their own are named after the label
    // beside them, or described; captions stay as they were.
    void uncaptionedControlsTakeTheLabelsText_data()
    {
        QTest::addColumn<QString>("window");
        QTest::addColumn<QString>("control");
        QTest::addColumn<QString>("name");
        const char *rows[][3] = {
            {"MainForm", "Check1", "説明表示"},
            {"MainForm", "Check2", "新着メール有りで、メール自動表示"},
            {"MainForm", "Text3", "新着メールの有無"},
            {"MainForm", "Text4", "着信数（累積）"},
            {"MainForm", "Text6", "新着数"},
            {"MainForm", "Text5", "新着情報"},
            {"MainForm", "Set", "設定"},
            {"OptionForm", "SmtpText", "SMTPサーバー名"},
            {"OptionForm", "Pop3Text", "POP3サーバー名"},
            {"OptionForm", "MailText", "メールアドレス"},
            {"OptionForm", "ApopCheck", "APOP を使用する"},
            {"IdpassForm", "IdText", "ID"},
            {"IdpassForm", "PassText", "Password"},
            {"IdpassForm", "Check1", "IDパスワードを保存する"},
        };
        for (const auto &row : rows)
            QTest::addRow("%s %s", row[0], row[1])
                << QString::fromLatin1(row[0]) << QString::fromLatin1(row[1]) << QString::fromUtf8(row[2]);
    }
    void uncaptionedControlsTakeTheLabelsText()
    {
        QFETCH(QString, window);
        QFETCH(QString, control);
        QFETCH(QString, name);
        Run run;
        app::MainForm &form = run.start();
        QWidget *w = ::control(settingsWindow(form, window), control);
        QCOMPARE(accessibleName(w), name);
        // The check boxes of the main window and "ID,PASS" keep their empty captions.
        if (auto *box = qobject_cast<QCheckBox *>(w); box && control != QLatin1String("ApopCheck"))
            QVERIFY(box->text().isEmpty());
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_MainWindow.moc"
