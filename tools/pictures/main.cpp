#include "Drawing.h"

#include <QDir>
#include <QGuiApplication>
#include <QTextStream>

#include <cstdio>
#include <iterator>

// Usage: glimra_pictures <output folder>
// Writes Back.jpg, fi.png, tetora.png, mozaiku.png, Kan.png, Kami.png,
// Tabako.png (turned into GIF by make-pictures.sh) and the icons
// New.png, Jyushin.png, Tyakushin.png, Set.png, Address.png, the editor's
// tool-bar icons in editor/, the viewer's button pictures Command3.png to
// Command6.png in viewer/ and the composer's Command5.png, Command6.png,
// Command11.png, Command7.png in compose/ (the two windows share button names),
// and the program's icon as hicolor/<size>x<size>/apps/glimramail.png.
int main(int argc, char *argv[])
{
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: glimra_pictures <output folder>\n");
        return 2;
    }
    QDir out(QString::fromLocal8Bit(argv[1]));
    if (!out.mkpath(QStringLiteral(".")))
        return 1;

    bool ok = pictures::nightScene().save(out.filePath(QStringLiteral("Back.jpg")), "JPG", 92);
    const char *sheets[] = {"fi", "tetora", "mozaiku"};
    for (int i = 0; i < 3; ++i)
        ok &= pictures::fireflySheet(i).save(out.filePath(QString::fromLatin1(sheets[i]) + QStringLiteral(".png")));
    const char *litter[] = {"Kan", "Kami", "Tabako"};
    for (int i = 0; i < 3; ++i)
        ok &= pictures::litter(i).save(out.filePath(QString::fromLatin1(litter[i]) + QStringLiteral(".png")));
    const char *icons[] = {"New", "Jyushin", "Tyakushin", "Set", "Address"};
    for (int i = 0; i < 5; ++i)
        ok &= pictures::toolbarIcon(i).save(out.filePath(QString::fromLatin1(icons[i]) + QStringLiteral(".png")));
    const char *composer[] = {"Command5", "Command6", "Command11", "Command7"};
    if (!out.mkpath(QStringLiteral("compose")) || !out.mkpath(QStringLiteral("viewer")))
        return 1;
    for (int i = 0; i < 4; ++i)
        ok &= pictures::composerButtonPicture(i).save(
            out.filePath(QStringLiteral("compose/") + QString::fromLatin1(composer[i]) + QStringLiteral(".png")));
    if (!out.mkpath(QStringLiteral("editor")))
        return 1;
    for (int i = 0; i < int(std::size(pictures::EditorIconKeys)); ++i)
        ok &= pictures::editorIcon(i).save(
            out.filePath(QStringLiteral("editor/") + QString::fromLatin1(pictures::EditorIconKeys[i]) + QStringLiteral(".png")));
    // The pictures at the left end of the viewer's four mail buttons.
    for (int i = 0; i < 4; ++i)
        ok &= pictures::viewerButtonPicture(i).save(out.filePath(QStringLiteral("viewer/Command%1.png").arg(i + 3)));
    // The program's icon in the sizes desktops ask for, hicolor theme layout.
    for (int size : pictures::AppIconSizes) {
        const QString folder = QStringLiteral("hicolor/%1x%1/apps").arg(size);
        if (!out.mkpath(folder))
            return 1;
        ok &= pictures::appIcon(size).save(out.filePath(folder + QStringLiteral("/glimramail.png")));
    }
    return ok ? 0 : 1;
}
