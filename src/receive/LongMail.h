#pragma once

#include "maillib/MailService.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace receive {

// A body too long for the store's 32000-byte body field would be cut, and the
// server's copy deleted after it. Such a message is first written whole, as
// received, into the attachment folder, and the stored body ends with a line
// naming that file.

// True when body followed by tail does not fit the body field (CP932 bytes,
// blanks at both ends not counted, as the store trims them).
[[nodiscard]] bool bodyTooLongForStore(const QString &body, const QString &tail);

// The file name for the whole message: "<yyyyMMdd-HHmmss> <subject>.eml" from
// the Date header (or "日付不明"), made safe as a file name.
[[nodiscard]] QString wholeMessageFileName(const QString &date, const QString &subject);

// Writes raw into folder under the name above, never replacing a file: a
// name taken gets " (2)", " (3)" ... before ".eml". The file is read back and
// must hold exactly the bytes of raw (an empty raw is refused). It is on the
// disk when this returns; with toSync given, its path is added there instead and
// syncSavedFiles must succeed before the server's copy is deleted.
// Returns the file name used, or an empty text with error set to a Japanese
// reason.
[[nodiscard]] QString saveWholeMessage(const QString &folder, const maillib::RawMessage &raw, const QString &date,
                                       const QString &subject, QString *error, QStringList *toSync = nullptr);
[[nodiscard]] QString saveWholeMessage(const QString &folder, const QByteArray &raw, const QString &date,
                                       const QString &subject, QString *error, QStringList *toSync = nullptr);

// Waits until the files saved with toSync, and their folders' entries, are
// on the disk; false with error set to a Japanese reason when one is not.
[[nodiscard]] bool syncSavedFiles(const QStringList &paths, QString *error);

// Why a message is kept whole beside its record.
enum class WholeReason {
    TooLong,        // the body does not fit the record
    CharactersLost, // the record cannot hold some of its characters (outside CP932)
};

// True when the record would not hold these texts faithfully because CP932
// has no form for some of their characters.
[[nodiscard]] bool recordLosesCharacters(const QString &subject, const QString &from, const QString &date,
                                         const QString &body);

// The line that ends the stored body, naming the saved file.
[[nodiscard]] QString wholeMessageNotice(const QString &fileName, WholeReason reason = WholeReason::TooLong);

// The file that the notice at the end of a stored body names, when the body
// ends with one and the name is a plain ".eml" file name of the attachment
// folder; otherwise an empty text.
[[nodiscard]] QString wholeMessageFileNamed(const QString &storedBody);

// body cut so that it, tail and the notice for fileName fit the body field together.
[[nodiscard]] QString cutBodyWithNotice(const QString &body, const QString &tail, const QString &fileName,
                                        WholeReason reason = WholeReason::TooLong);

} // namespace receive
