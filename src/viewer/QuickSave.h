#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

// "TextQuickSave": the shown mail saved as a four-line CP932 text file in the
// quick-save folder beside the program, named after its subject.
namespace viewer {

// The longest file name, in bytes, when the file system does not tell.
inline constexpr int DefaultNameMaxBytes = 255;

// The file name for a subject: the subject followed by ".txt", made safe for a
// Linux file system. "/" and "\" become their full-width forms "／" and "＼",
// control characters (NUL included) and broken surrogates become "_", so the
// name can never leave the folder or name another one. "." and ".." only ever
// give "..txt" and "...txt"; an empty subject gives ".txt". A name longer than
// nameMaxBytes in UTF-8 is cut at a character boundary (never inside a
// character or a combining sequence) so that ".txt" still ends it.
[[nodiscard]] QString quickSaveFileName(const QString &subject, int nameMaxBytes = DefaultNameMaxBytes);

// The quick-save folder "■TextQuickSave" in the program folder.
[[nodiscard]] QString quickSaveFolder();

// The file's content: "Subject:", "From:", "Date:" and "Body:", each followed by
// two blanks and its text and ended by CR LF, in CP932 (characters CP932
// cannot hold become "?").
[[nodiscard]] QByteArray quickSaveFileContent(const QString &subject, const QString &sender, const QString &date,
                                              const QString &body);

enum class QuickSaveResult {
    Written,  // the file was created or replaced
    Declined, // a file of that name exists and the user kept it
    Failed,   // the folder or the file could not be written; the user was told why
};

struct QuickSaveOutcome
{
    QuickSaveResult result = QuickSaveResult::Failed;
    QString path; // the file's full path (also when it was not written)
};

// Saves one mail. Creates the quick-save folder when it is missing, asks
// "同名のファイルが既に存在します。上書きしますか？ " when a file of exactly
// that name exists, and writes through a temporary file in the same folder
// that is renamed into place, so an existing file is either replaced whole or
// left as it was. Failures are reported in a Japanese message box. busy, when
// given, is called with true before and false after the existence test, for
// the busy pointer.
QuickSaveOutcome QuickSaveMail(const QString &subject, const QString &sender, const QString &date,
                               const QString &body, const std::function<void(bool)> &busy = {});

// Writes bytes to path atomically: a temporary file in the same folder, synced
// and then renamed over path. On failure path is untouched, the temporary
// file is removed and errorText (when given) receives a Japanese reason.
bool writeFileReplacing(const QString &path, const QByteArray &bytes, QString *errorText = nullptr);

// The Japanese texts of the quick save.
inline constexpr char16_t OverwriteQuestionText[] = u"同名のファイルが既に存在します。上書きしますか？ ";

} // namespace viewer
