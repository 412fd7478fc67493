#pragma once

#include <QString>

#include <functional>
#include <optional>

// The editor's file commands: opening a text file into a body box, saving the
// viewer's text under a chosen name, and the editor's own file that "New"
// starts. Files are CP932 with CR LF line ends. Dialogs and messages go
// through the prompts seam; a file that cannot be read or written is reported
// with a Japanese message and leaves the body box and the file as they were.
namespace viewer {

// The filter of the editor's file dialogs: one entry, "name|pattern;pattern".
inline constexpr char16_t EditorFileFilter[] = u"txtファイル(*.txt,*.ini)|*.txt;*.ini";
// The name of the editor's new file.
inline constexpr char16_t NewEditorFileName[] = u"新規作成.TXT";

// A filter of "name|pattern;pattern|name|pattern..." entries in the file
// dialog's form "name (pattern pattern);;name (pattern)".
[[nodiscard]] QString toQtFileFilter(const QString &filter);

// A body box's text (lines separated by LF, CR LF or CR) with CR LF line ends.
[[nodiscard]] QString toFileLineEnds(const QString &text);

// Asks for a text file and reads it: every line, also the last, ends with CR
// LF; a lone CR ends a line, a lone LF stays inside it. Returns the text for
// the body box, or nothing when the user cancelled or the file could not be
// read (then after a message).
[[nodiscard]] std::optional<QString> LoadTextFileIntoEditor();

// Asks for a file name (the dialog asks before replacing a file) and writes
// bodyText there with WriteViewerText. Returns the path written, for the
// window's caption, or an empty text when cancelled or not written.
QString SaveViewerTextAs(const QString &bodyText);

// Creates or replaces path with bodyText followed by CR LF. A file that
// cannot be written completely is left as it was, after a message.
bool WriteViewerText(const QString &path, const QString &bodyText);

// Saves bodyText to CurrentEditorFile and clears EditorChanged. An empty
// CurrentEditorFile names no file: nothing is saved and false returned.
bool SaveEditorFile(const QString &bodyText);

// "New": acts once per run. Unless CurrentEditorFile already names the new
// file, saves changed text to the current file, writes the empty new file in
// the current file's folder (the working folder at first), runs emptyBody,
// points CurrentEditorFile at the new file and clears EditorChanged. Returns
// the caption the window then shows, or nothing when "New" did nothing or a
// file could not be written (then after a message, with the box untouched).
[[nodiscard]] std::optional<QString> NewEditorFile(const QString &bodyText, const std::function<void()> &emptyBody);

} // namespace viewer
