#pragma once

#include "maillib/MailService.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// Where the check puts what it extracts: the attachment folder beside the
// data folder, the work file through which a message goes to the mail layer,
// and handing a message to the layer to fill the folder.
namespace receive {

// The five texts of one fetched message, as the mail layer filled them; the
// extraction may rewrite them (a multipart body becomes its text part).
using MessageTexts = maillib::MailTexts;

// How one extraction went, for the caller to report.
enum class ExtractionOutcome {
    Extracted,        // attachments were written into the attachment folder
    NothingToExtract, // the layer found nothing to write
    AttachmentOpen,   // an attachment file could not be opened (-5); a box says so
    SplitIncomplete,  // a piece of a split message (-6); a box says so
    WorkFileFailed,   // the work file could not be written or read; the message was still handed over
};

// What one extraction wrote, for the caller's notice and reports.
struct ExtractionDetails
{
    ExtractionOutcome outcome = ExtractionOutcome::NothingToExtract;
    QStringList writtenFiles;   // full paths of the files the layer wrote
    QString error;              // the layer's reason when attachments could not be written
    bool workFileFailed = false; // the work file could not be written or read
};

// The check's work file: the program's own, in the data folder, where no
// attachment is written and no name of the user's is taken.
inline constexpr char WorkFileName[] = "KRXRECV.TMP";
[[nodiscard]] QString workFilePath();

// The attachment folder "添付フォルダ" beside the data folder, with a closing separator.
[[nodiscard]] QString attachmentFolderPath();

// Creates the attachment folder when it is missing; false when it still is not there.
[[nodiscard]] bool ensureAttachmentFolder();

// Hands one message to the mail layer, which writes its attachments into the
// attachment folder: the header and body go through the work file (CP932; a
// line ends at CR LF or a lone CR, every line comes back ended by CR LF, and
// the text ends with one NUL), the layer's two known failures are reported in
// message boxes, and the work file is removed again. Nothing in the
// attachment folder is touched but the files the layer writes. When the work
// file cannot be written or read the message text is built in memory instead
// and WorkFileFailed returned. A message the layer has just fetched is
// extracted from the exact bytes received, and no work file is written for it.
ExtractionOutcome ExtractAttachments(MessageTexts &texts);

// Keeps the work file's inode between the messages of one check, under a
// second name in the data folder: the work file is then linked to it again for
// the next message instead of being created anew, which on some file systems
// costs milliseconds once many files were deleted in the last seconds. The work
// file still exists only while a message is handled; the second name is removed
// when the keeper goes, and one left by a crash when the next keeper starts.
// Where linking fails (another file system, no links) the work file is simply
// created for every message.
class WorkFileKeeper
{
public:
    WorkFileKeeper();
    ~WorkFileKeeper();
    WorkFileKeeper(const WorkFileKeeper &) = delete;
    WorkFileKeeper &operator=(const WorkFileKeeper &) = delete;

    // Before a message: gives workFile the kept inode, if there is one.
    void lend(const QString &workFile);
    // After a message, before workFile is removed: keeps its inode.
    void keep(const QString &workFile);

private:
    QByteArray m_path;
    bool m_kept = false;
};

inline constexpr char KeptWorkFileName[] = "KRXRECV.KEEP";

// As above, reusing the keeper's inode for the work file, and telling what
// was written (details may be null); with the given mail layer, or the
// process's default one.
ExtractionOutcome ExtractAttachments(maillib::MailService &service, MessageTexts &texts, WorkFileKeeper *keeper,
                                     ExtractionDetails *details = nullptr);
// The same without the boxes, on any thread with its own service; the text
// of the box an outcome calls for (empty when none) is extractionBox's.
ExtractionOutcome extractAttachmentsQuietly(maillib::MailService &service, MessageTexts &texts, WorkFileKeeper *keeper,
                                            ExtractionDetails *details = nullptr);
[[nodiscard]] QString extractionBox(ExtractionOutcome outcome);
ExtractionOutcome ExtractAttachments(MessageTexts &texts, WorkFileKeeper *keeper,
                                     ExtractionDetails *details = nullptr);

} // namespace receive
