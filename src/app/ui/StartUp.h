#pragma once

#include "app/ui/MainForm.h"

class QApplication;

namespace app {

// What a second start on a data folder that is in use says.
inline constexpr char16_t AlreadyRunningText[] = u"GlimraMail は既に起動しています。";

// The program from its start to its end, once the application object and the
// prompts exist. Before anything reads or writes the data folder, the
// program takes the folder's lock. When another program holds it, that
// program is asked to bring its window to the front, the user is told, and
// the start ends here without touching a file. Otherwise the main window is
// created, loaded and shown and the main loop runs until the process ends.
// Returns the exit code.
//
// mailLink, when it is a "mailto:" link, opens the composer filled from it;
// when another program holds the folder, the link goes to that program,
// which opens its composer, and this start ends without a message box.
int StartUp(QApplication &application, MainFormServices services, const QString &mailLink = {});

// Opens the composer of the main window filled from a mailto link; a text
// that is no such link does nothing.
void openMailLink(MainForm &mainForm, const QString &link);

} // namespace app
