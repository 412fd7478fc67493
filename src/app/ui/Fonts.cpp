#include "app/ui/Fonts.h"

#include <QApplication>
#include <QFont>
#include <QStringList>

namespace app {

void installFontSubstitutions()
{
    // Each name falls back along its list to the first installed font.
    const QStringList proportionalGothic{QStringLiteral("IPAPGothic"), QStringLiteral("IPAGothic"),
                                         QStringLiteral("Noto Sans CJK JP")};
    const QStringList gothic{QStringLiteral("IPAGothic"), QStringLiteral("IPAPGothic"),
                             QStringLiteral("Noto Sans CJK JP")};
    const QStringList mincho{QStringLiteral("IPAMincho"), QStringLiteral("IPAPMincho"),
                             QStringLiteral("Noto Serif CJK JP")};
    const QStringList proportionalMincho{QStringLiteral("IPAPMincho"), QStringLiteral("IPAMincho"),
                                         QStringLiteral("Noto Serif CJK JP")};
    QFont::insertSubstitutions(QStringLiteral("ＭＳ Ｐゴシック"), proportionalGothic);
    QFont::insertSubstitutions(QStringLiteral("MS PGothic"), proportionalGothic);
    QFont::insertSubstitutions(QStringLiteral("MS UI Gothic"), proportionalGothic);
    QFont::insertSubstitutions(QStringLiteral("ＭＳ ゴシック"), gothic);
    QFont::insertSubstitutions(QStringLiteral("MS Gothic"), gothic);
    QFont::insertSubstitutions(QStringLiteral("ＭＳ 明朝"), mincho);
    QFont::insertSubstitutions(QStringLiteral("MS Mincho"), mincho);
    QFont::insertSubstitutions(QStringLiteral("ＭＳ Ｐ明朝"), proportionalMincho);
    QFont::insertSubstitutions(QStringLiteral("MS PMincho"), proportionalMincho);
    QFont::insertSubstitutions(QStringLiteral("Book Antiqua"),
                               {QStringLiteral("P052"), QStringLiteral("URW Palladio L"),
                                QStringLiteral("TeX Gyre Pagella"), QStringLiteral("DejaVu Serif")});
}

void installFonts()
{
    installFontSubstitutions();
    QApplication::setFont(QFont(QStringLiteral("ＭＳ Ｐゴシック"), 9));
}

} // namespace app
