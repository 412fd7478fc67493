#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>

namespace habitat {

// What the main window shows of the litter game; the window copies it into its
// controls whenever the game reports a change.
struct LitterView
{
    static constexpr int PictureCount = 5;

    std::array<bool, PictureCount> pictureShown{}; // Image1 to Image5
    QString pictureFile;        // picture in "Adata" of the last throw, empty before the first
    bool messageShown = false;  // Text2
    QString message;
    bool alarmShown = false;    // Label5 "助けて下さいっ！！"
    bool barShown = false;      // Bar1
    int barValue = 0;           // 0 to 60
    int helpBoxTop = 104;       // top of the help box Text1
    int countdownInterval = 0;  // Timer4: 0 stopped, 1000 running

    friend bool operator==(const LitterView &, const LitterView &) = default;
};

// The litter game of the habitat: now and then an intruder throws litter, and
// unless the user clicks all five pictures away within sixty countdown ticks
// the fireflies die until the user revives them. The game advances only
// through its explicit steps: the litter tick, the countdown tick, clicks on
// the pictures and the revival.
class LitterGame final : public QObject
{
    Q_OBJECT
public:
    // The rest of the habitat as the game sees it: the shared halt flag
    // (1 while litter was just thrown or the fireflies are dead) and the blink
    // of firefly group 3, which the litter tick drives.
    struct Habitat
    {
        std::function<bool()> isHalted;
        std::function<void(bool)> setHalted;
        std::function<void()> toggleGroup3Glow;
    };

    static constexpr int FullHealth = 60;
    static constexpr int HelpBoxShownTop = 104;
    static constexpr int HelpBoxHiddenTop = -1000;

    explicit LitterGame(Habitat habitat, QObject *parent = nullptr);

    [[nodiscard]] const LitterView &view() const { return m_view; }
    // The text of the hidden box Text8: a number from 60 down to 0 while
    // litter lies in the scene, "Text8" before the first throw.
    [[nodiscard]] const QString &Health() const { return m_health; }
    [[nodiscard]] qint16 TickCount() const { return m_tickCount; }

    // Mirrors the main window's help display box, which the litter tick reads.
    void setHelpDisplay(bool ticked) { m_helpDisplay = ticked; }

    // The litter tick: places the help box, may throw litter, then checks
    // whether the scene is clean.
    void Timer3_Timer();
    // The countdown tick while litter lies in the scene.
    void Timer4_Timer();
    // A click on a litter picture (index 0 to 4 for Image1 to Image5) hides it.
    void clickPicture(int index);
    // The revival from the pop-up menu: seven message boxes, then the profile
    // marks the fireflies alive.
    void mfukatu_Click();

    // Sets Health; a different text runs the health-change handler.
    void setHealth(const QString &text);

    // The litter a number drawn from 1 to 200 throws: "Kan.gif", "Kami.gif" or
    // "Tabako.gif" for 1, 5 and 20, an empty text for every other number.
    [[nodiscard]] static QString pictureFor(int n);
    [[nodiscard]] static QString messageFor(int n);
    [[nodiscard]] static QString deathText();
    [[nodiscard]] static QStringList revivalTexts();

Q_SIGNALS:
    void changed();
    // Litter was thrown: every picture control loads file from "Adata" anew.
    void thrown(const QString &pictureFile);
    void healthChanged(const QString &health);

private:
    void throwLitter(int n);
    void cleanUpCheck();
    void Text8_Change();

    Habitat m_habitat;
    LitterView m_view;
    QString m_health = QStringLiteral("Text8");
    qint16 m_tickCount = 0;
    bool m_helpDisplay = false;
};

} // namespace habitat
