#pragma once

namespace app {

// Maps the Windows font names the windows ask for ("ＭＳ Ｐゴシック" and its
// kin, "Book Antiqua") to fonts installed here: IPA Gothic and Mincho, and the
// URW serif P052. Called once at start-up, before any window is created.
void installFontSubstitutions();

// The substitutions, and the windows' own font: "ＭＳ Ｐゴシック" at 9 points.
void installFonts();

} // namespace app
