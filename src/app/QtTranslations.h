#pragma once

class QCoreApplication;

namespace app {

// Makes Qt's own texts Japanese: the buttons of message boxes ("はい",
// "いいえ", "キャンセル"), the file and print dialogs and the right-click
// menus of text boxes. Loaded whatever the system's locale, since every text
// of the program is Japanese. Call once the application object exists; false
// when the translation file is not installed (the texts then stay English).
bool installQtJapaneseTranslation(QCoreApplication &application);

} // namespace app
