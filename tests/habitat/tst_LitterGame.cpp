#include "common/ProfileFile.h"
#include "habitat/LitterGame.h"
#include "habitat/LitterTick.h"
#include "support/ScriptedPrompts.h"
#include "support/ScriptedRandom.h"
#include "support/TempProgramFolder.h"

#include <QSignalSpy>
#include <QTest>

using habitat::LitterGame;
using habitat::LitterView;

namespace {

// Draws that give n = 1, 5, 20 and a number that throws nothing.
constexpr double DrawCan = 0.0;
constexpr double DrawPaper = 4.5 / 200;
constexpr double DrawCigarette = 19.5 / 200;
constexpr double DrawNothing = 0.5;

// The habitat around the game: the halt flag and the blink of group 3. pass()
// does what every pass of the main loop does to the flag.
struct FakeHabitat
{
    bool halted = false;
    int group3Toggles = 0;

    LitterGame::Habitat hooks()
    {
        return {[this] { return halted; }, [this](bool h) { halted = h; }, [this] { ++group3Toggles; }};
    }
    void pass() { halted = common::ProfileReadText(QStringLiteral("NAME"), QStringLiteral("GetPPSErr")) == QLatin1String("1"); }
};

struct Fixture
{
    testsupport::TempProgramFolder folder;
    testsupport::ScriptedPrompts prompts;
    testsupport::ScriptedRandom random{DrawNothing};
    FakeHabitat habitat;
    LitterGame game{habitat.hooks()};

    void throwLitter(double draw)
    {
        random.push({draw});
        game.Timer3_Timer();
    }
    [[nodiscard]] int shownPictures() const
    {
        const auto &shown = game.view().pictureShown;
        return int(std::count(shown.begin(), shown.end(), true));
    }
};

} // namespace

class TestLitterGame : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void drawDecidesTheLitter_data()
    {
        QTest::addColumn<double>("draw");
        QTest::addColumn<QString>("picture");
        QTest::addColumn<QString>("message");
        QTest::newRow("n=1 can") << DrawCan << QStringLiteral("Kan.gif")
                                 << QStringLiteral("侵入者が空き缶を投げ捨てました。取り除いてください。（空き缶をマウスクリック！）");
        QTest::newRow("n=5 paper") << DrawPaper << QStringLiteral("Kami.gif")
                                   << QStringLiteral("侵入者が紙くずを投げ捨てました。取り除いてください。（紙くずをマウスクリック！）");
        QTest::newRow("n=20 cigarette") << DrawCigarette << QStringLiteral("Tabako.gif")
                                        << QStringLiteral("侵入者がタバコを投げ捨てました。取り除いてください。（タバコをマウスクリック！）");
        QTest::newRow("n=2") << 1.5 / 200 << QString() << QString();
        QTest::newRow("n=6") << 5.5 / 200 << QString() << QString();
        QTest::newRow("n=200") << 0.9999 << QString() << QString();
    }
    void drawDecidesTheLitter()
    {
        QFETCH(double, draw);
        QFETCH(QString, picture);
        QFETCH(QString, message);
        Fixture f;
        QSignalSpy thrown(&f.game, &LitterGame::thrown);
        f.throwLitter(draw);
        QCOMPARE(f.random.reseeds(), 1);
        QCOMPARE(f.random.draws(), 1);
        QCOMPARE(f.habitat.group3Toggles, 1);
        if (picture.isEmpty()) {
            QCOMPARE(thrown.count(), 0);
            LitterView clean;
            clean.helpBoxTop = LitterGame::HelpBoxHiddenTop;
            QCOMPARE(f.game.view(), clean);
            QCOMPARE(f.game.Health(), QStringLiteral("Text8"));
            return;
        }
        QCOMPARE(thrown.count(), 1);
        QCOMPARE(thrown.at(0).at(0).toString(), picture);
        const LitterView &v = f.game.view();
        QCOMPARE(v.pictureFile, picture);
        QCOMPARE(f.shownPictures(), 5);
        QVERIFY(v.messageShown);
        QCOMPARE(v.message, message + QStringLiteral("取り除かないと、蛍は死んでしまいます。"));
        QVERIFY(v.alarmShown);
        QVERIFY(v.barShown);
        QCOMPARE(v.barValue, 60);
        QCOMPARE(f.game.Health(), QStringLiteral("60"));
        QCOMPARE(f.game.TickCount(), qint16(0));
        QCOMPARE(v.countdownInterval, 1000);
        QVERIFY(f.habitat.halted);
        QVERIFY(f.prompts.shown.isEmpty());
    }

    void alarmLastsUntilTheNextTickAndTheBarFalls()
    {
        Fixture f;
        f.throwLitter(DrawPaper);
        f.habitat.pass();
        f.game.Timer4_Timer();
        QCOMPARE(f.game.Health(), QStringLiteral("59"));
        QCOMPARE(f.game.view().barValue, 59);
        f.game.Timer3_Timer();
        QVERIFY(!f.game.view().alarmShown);
        QVERIFY(f.game.view().messageShown);
        QVERIFY(f.game.view().barShown);
        QCOMPARE(f.game.view().countdownInterval, 1000);
    }

    void clickingAllAwayCleansUpAtTheNextTick()
    {
        Fixture f;
        f.throwLitter(DrawCan);
        f.habitat.pass();
        for (int i = 0; i < 5; ++i)
            f.game.clickPicture(i);
        f.game.clickPicture(2); // a hidden picture cannot be clicked again
        f.game.clickPicture(7);
        QCOMPARE(f.shownPictures(), 0);
        // Until the litter tick looks, the countdown goes on.
        QVERIFY(f.game.view().barShown);
        QCOMPARE(f.game.view().countdownInterval, 1000);
        f.game.Timer3_Timer();
        QVERIFY(!f.game.view().messageShown);
        QVERIFY(!f.game.view().barShown);
        QCOMPARE(f.game.view().countdownInterval, 0);
        QVERIFY(!f.habitat.halted);
        QVERIFY(f.prompts.shown.isEmpty());
        QCOMPARE(common::ProfileReadText(QStringLiteral("NAME"), QStringLiteral("none")), QStringLiteral("none"));
    }

    void fourPicturesAwayIsNotClean()
    {
        Fixture f;
        f.throwLitter(DrawCan);
        f.habitat.pass();
        for (int i = 0; i < 4; ++i)
            f.game.clickPicture(i);
        f.game.Timer3_Timer();
        QVERIFY(f.game.view().messageShown);
        QCOMPARE(f.game.view().countdownInterval, 1000);
    }

    void leftLitterKillsTheFireflies()
    {
        Fixture f;
        QVERIFY(common::ProfileWrite(QStringLiteral("NAME"), QStringLiteral("0")));
        f.throwLitter(DrawCigarette);
        for (int tick = 1; tick < 60; ++tick)
            f.game.Timer4_Timer();
        QCOMPARE(f.game.Health(), QStringLiteral("1"));
        QVERIFY(f.prompts.shown.isEmpty());
        f.game.Timer4_Timer();
        QCOMPARE(f.game.Health(), QStringLiteral("0"));
        QCOMPARE(f.prompts.shown.size(), 1);
        QCOMPARE(f.prompts.shown[0].text, QStringLiteral("環境汚染がひどく、蛍は死んでしまいました・・・"));
        QCOMPARE(f.prompts.shown[0].title, QString());
        QCOMPARE(f.prompts.shown[0].icon, common::PromptIcon::Information);
        QCOMPARE(common::ProfileReadText(QStringLiteral("NAME"), QString()), QStringLiteral("1"));
        QVERIFY(!f.game.view().barShown);
        QCOMPARE(f.game.view().barValue, 0);
        // Litter and message stay; the countdown goes on at "0" without a second message.
        QCOMPARE(f.shownPictures(), 5);
        QVERIFY(f.game.view().messageShown);
        f.game.Timer4_Timer();
        f.game.Timer4_Timer();
        QCOMPARE(f.game.Health(), QStringLiteral("0"));
        QCOMPARE(f.prompts.shown.size(), 1);
        QCOMPARE(f.game.view().countdownInterval, 1000);

        // From the next pass on the litter tick stands still.
        f.habitat.pass();
        QVERIFY(f.habitat.halted);
        const LitterView before = f.game.view();
        f.random.push({DrawCan});
        f.game.Timer3_Timer();
        QCOMPARE(f.random.draws(), 1);
        QCOMPARE(f.habitat.group3Toggles, 1);
        QCOMPARE(f.game.view(), before);
    }

    void tickCountStopsAtItsLimit()
    {
        Fixture f;
        f.throwLitter(DrawCan);
        for (int tick = 0; tick < 40000; ++tick)
            f.game.Timer4_Timer();
        QCOMPARE(f.game.TickCount(), qint16(32767));
        QCOMPARE(f.game.Health(), QStringLiteral("0"));
        QCOMPARE(f.prompts.informTexts().size(), 1);
    }

    void secondThrowStartsAgainAtSixty()
    {
        Fixture f;
        f.throwLitter(DrawCan);
        f.habitat.pass();
        for (int tick = 0; tick < 10; ++tick)
            f.game.Timer4_Timer();
        f.game.clickPicture(0);
        f.game.clickPicture(3);
        QCOMPARE(f.game.Health(), QStringLiteral("50"));
        QSignalSpy thrown(&f.game, &LitterGame::thrown);
        f.throwLitter(DrawPaper);
        QCOMPARE(thrown.count(), 1);
        QCOMPARE(f.game.view().pictureFile, QStringLiteral("Kami.gif"));
        QCOMPARE(f.shownPictures(), 5);
        QVERIFY(f.game.view().message.startsWith(QStringLiteral("侵入者が紙くず")));
        QCOMPARE(f.game.Health(), QStringLiteral("60"));
        QCOMPARE(f.game.TickCount(), qint16(0));
        f.game.Timer4_Timer();
        QCOMPARE(f.game.Health(), QStringLiteral("59"));
    }

    void twoLitterEventsEachGiveFullTime()
    {
        Fixture f;
        f.throwLitter(DrawCan);
        f.habitat.pass();
        for (int tick = 0; tick < 30; ++tick)
            f.game.Timer4_Timer();
        for (int i = 0; i < 5; ++i)
            f.game.clickPicture(i);
        f.game.Timer3_Timer();
        QCOMPARE(f.game.view().countdownInterval, 0);
        f.throwLitter(DrawCan);
        for (int tick = 1; tick < 60; ++tick)
            f.game.Timer4_Timer();
        QCOMPARE(f.game.Health(), QStringLiteral("1"));
        QVERIFY(f.prompts.shown.isEmpty());
    }

    void helpBoxFollowsTheHelpDisplayAtEachTick()
    {
        Fixture f;
        f.game.setHelpDisplay(true);
        f.game.Timer3_Timer();
        QCOMPARE(f.game.view().helpBoxTop, 104);
        f.game.setHelpDisplay(false);
        QCOMPARE(f.game.view().helpBoxTop, 104); // not before the next tick
        f.game.Timer3_Timer();
        QCOMPARE(f.game.view().helpBoxTop, -1000);
        f.habitat.halted = true;
        f.game.setHelpDisplay(true);
        f.game.Timer3_Timer();
        QCOMPARE(f.game.view().helpBoxTop, -1000);
    }

    void revivalShowsSevenBoxesThenMarksAlive()
    {
        Fixture f;
        QVERIFY(common::ProfileWrite(QStringLiteral("NAME"), QStringLiteral("1")));
        f.game.mfukatu_Click();
        QCOMPARE(f.prompts.informTexts(),
                 (QStringList{QStringLiteral("蛍を復活させます。"), QStringLiteral("一度死なせると、ちょっと面倒です。"),
                              QStringLiteral("本当に、復活させますか？"), QStringLiteral("ウ～ム・・・"),
                              QStringLiteral("それなら・・・"), QStringLiteral("反省してるようなので・・・"),
                              QStringLiteral("復活しました。")}));
        for (const auto &box : f.prompts.shown) {
            QCOMPARE(box.icon, common::PromptIcon::None);
            QCOMPARE(box.title, QString());
        }
        QCOMPARE(common::ProfileReadText(QStringLiteral("NAME"), QString()), QStringLiteral("0"));
        f.habitat.pass();
        QVERIFY(!f.habitat.halted);
    }

    void revivalLeavesLitterUntilItIsClickedAway()
    {
        Fixture f;
        f.throwLitter(DrawCan);
        for (int tick = 0; tick < 60; ++tick)
            f.game.Timer4_Timer();
        f.habitat.pass();
        f.game.mfukatu_Click();
        f.habitat.pass();
        f.game.Timer3_Timer();
        QCOMPARE(f.shownPictures(), 5);
        QVERIFY(f.game.view().messageShown);
        for (int i = 0; i < 5; ++i)
            f.game.clickPicture(i);
        f.game.Timer3_Timer();
        QVERIFY(!f.game.view().messageShown);
        QCOMPARE(f.game.view().countdownInterval, 0);
    }

    void tickPausesWithoutCounting()
    {
        habitat::LitterTick tick;
        QSignalSpy spy(&tick, &habitat::LitterTick::intervalChanged);
        QVERIFY(tick.isRunning());
        tick.pause();
        tick.pause(); // a second window pausing changes nothing
        QCOMPARE(tick.interval(), 0);
        QCOMPARE(spy.count(), 1);
        tick.resume(); // whoever ends first restarts the tick
        QCOMPARE(tick.interval(), 1000);
        QCOMPARE(spy.count(), 2);
        QCOMPARE(spy.at(1).at(0).toInt(), 1000);
        tick.setInterval(-5);
        QCOMPARE(tick.interval(), 0);
        QCOMPARE(&habitat::litterTick(), &habitat::litterTick());
    }
};

QTEST_GUILESS_MAIN(TestLitterGame)
#include "tst_LitterGame.moc"
