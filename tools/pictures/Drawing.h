#pragma once

#include <QImage>

#include <random>

// Picture makers of the generator. Each draws one picture from a fixed seed,
// so a run always gives the same files.
namespace pictures {

QImage nightScene();                       // 551 x 420, the background
QImage fireflySheet(int kind);             // 64 x 64; 0 fi, 1 tetora, 2 mozaiku
QImage litter(int kind);                   // 32 x 32 with transparency; 0 can, 1 paper, 2 cigarette end
QImage toolbarIcon(int kind);              // 32 x 32; New, Jyushin, Tyakushin, Set, Address
QImage editorIcon(int kind);               // 16 x 16; the editor's tool bar, EditorIconKeys order
inline constexpr const char *EditorIconKeys[] = {"New", "Open", "Save", "Print", "Cut",
                                                 "Copy", "Paste", "Bold", "Italic", "Underline"};
QImage viewerButtonPicture(int kind);      // 22 x 22; the viewer's Command3 to Command6
QImage composerButtonPicture(int kind);
QImage appIcon(int size);                  // size x size with transparency; the program's icon
inline constexpr int AppIconSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};    // 16 x 16; the composer's Command5, Command6, Command11, Command7

using Rng = std::mt19937;
inline double uniform(Rng &rng, double lo, double hi)
{
    return std::uniform_real_distribution<double>(lo, hi)(rng);
}

} // namespace pictures
