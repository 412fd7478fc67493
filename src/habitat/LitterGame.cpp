#include "habitat/LitterGame.h"

#include "common/ProfileFile.h"
#include "common/Prompts.h"
#include "common/Random.h"
#include "common/TextHelpers.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace habitat {
namespace {

// Health read as a number, as the BASIC Val reads it ("Text8" before the first throw reads as 0).
int healthValue(const QString &text)
{
    const double value = common::leadingNumber(text);
    return int(std::clamp(value, double(std::numeric_limits<int>::min()), double(std::numeric_limits<int>::max())));
}

} // namespace

LitterGame::LitterGame(Habitat habitat, QObject *parent) : QObject(parent), m_habitat(std::move(habitat))
{
    if (!m_habitat.isHalted)
        m_habitat.isHalted = [] { return false; };
    if (!m_habitat.setHalted)
        m_habitat.setHalted = [](bool) {};
    if (!m_habitat.toggleGroup3Glow)
        m_habitat.toggleGroup3Glow = [] {};
}

QString LitterGame::pictureFor(int n)
{
    switch (n) {
    case 1: return QStringLiteral("Kan.gif");
    case 5: return QStringLiteral("Kami.gif");
    case 20: return QStringLiteral("Tabako.gif");
    default: return {};
    }
}

QString LitterGame::messageFor(int n)
{
    switch (n) {
    case 1: return QStringLiteral("侵入者が空き缶を投げ捨てました。取り除いてください。（空き缶をマウスクリック！）");
    case 5: return QStringLiteral("侵入者が紙くずを投げ捨てました。取り除いてください。（紙くずをマウスクリック！）");
    case 20: return QStringLiteral("侵入者がタバコを投げ捨てました。取り除いてください。（タバコをマウスクリック！）");
    default: return {};
    }
}

QString LitterGame::deathText()
{
    return QStringLiteral("環境汚染がひどく、蛍は死んでしまいました・・・");
}

QStringList LitterGame::revivalTexts()
{
    return {QStringLiteral("蛍を復活させます。"),           QStringLiteral("一度死なせると、ちょっと面倒です。"),
            QStringLiteral("本当に、復活させますか？"),     QStringLiteral("ウ～ム・・・"),
            QStringLiteral("それなら・・・"),               QStringLiteral("反省してるようなので・・・"),
            QStringLiteral("復活しました。")};
}

void LitterGame::Timer3_Timer()
{
    if (m_habitat.isHalted())
        return;
    m_view.helpBoxTop = m_helpDisplay ? HelpBoxShownTop : HelpBoxHiddenTop;
    m_view.alarmShown = false;
    m_habitat.toggleGroup3Glow();

    common::random().reseed();
    const int n = int(std::floor(common::random().next() * 200 + 1));
    if (!pictureFor(n).isEmpty())
        throwLitter(n);
    cleanUpCheck();
    Q_EMIT changed();
}

void LitterGame::throwLitter(int n)
{
    m_view.pictureFile = pictureFor(n);
    Q_EMIT thrown(m_view.pictureFile);
    m_view.pictureShown.fill(true);
    m_habitat.setHalted(true);
    m_view.messageShown = true;
    m_view.alarmShown = true;
    m_view.message = messageFor(n) + QStringLiteral("取り除かないと、蛍は死んでしまいます。");
    setHealth(QString::number(FullHealth));
    m_view.barShown = true;
    m_tickCount = 0;
    m_view.countdownInterval = 1000;
}

void LitterGame::cleanUpCheck()
{
    if (std::any_of(m_view.pictureShown.begin(), m_view.pictureShown.end(), [](bool shown) { return shown; }))
        return;
    m_habitat.setHalted(false);
    m_view.messageShown = false;
    m_view.barShown = false;
    m_view.countdownInterval = 0;
}

void LitterGame::Timer4_Timer()
{
    // The counter stops at its largest value instead of wrapping around; once
    // Health is 0 it is no longer read.
    if (m_tickCount < std::numeric_limits<qint16>::max())
        ++m_tickCount;
    if (healthValue(m_health) > 0)
        setHealth(QString::number(FullHealth - m_tickCount));
    else
        setHealth(QStringLiteral("0"));
}

void LitterGame::setHealth(const QString &text)
{
    if (text == m_health)
        return;
    m_health = text;
    Q_EMIT healthChanged(m_health);
    Text8_Change();
}

void LitterGame::Text8_Change()
{
    const int value = healthValue(m_health);
    m_view.barValue = std::clamp(value, 0, FullHealth);
    Q_EMIT changed();
    if (value > 0)
        return;
    common::prompts().inform(deathText(), QString(), common::PromptIcon::Information);
    m_view.barShown = false;
    common::ProfileWrite(QStringLiteral("NAME"), QStringLiteral("1"));
    Q_EMIT changed();
}

void LitterGame::clickPicture(int index)
{
    if (index < 0 || index >= LitterView::PictureCount || !m_view.pictureShown[size_t(index)])
        return;
    m_view.pictureShown[size_t(index)] = false;
    Q_EMIT changed();
}

void LitterGame::mfukatu_Click()
{
    for (const QString &text : revivalTexts())
        common::prompts().inform(text, QString(), common::PromptIcon::None);
    common::ProfileWrite(QStringLiteral("NAME"), QStringLiteral("0"));
}

} // namespace habitat
