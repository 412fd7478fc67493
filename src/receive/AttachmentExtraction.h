#pragma once

#include <QByteArray>
#include <QString>

namespace receive {

// The five texts of one fetched message, as the mail layer filled them; the
// extraction may rewrite them (a multipart body becomes its text part).
struct MessageTexts
{
    QString subject;
    QString date;
    QString from;
    QString header;
    QString body;
};

// How one extraction went, for the caller to report.
enum class ExtractionOutcome {
    Extracted,        // attachments were written into the attachment folder
    NothingToExtract, // the layer found nothing to write
    AttachmentOpen,   // an attachment file could not be opened (-5); the box was shown
    SplitIncomplete,  // a piece of a split message (-6); the box was shown
    WorkFileFailed,   // "0.txt" could not be written or read; the message was still handed over
};

inline constexpr char WorkFileName[] = "0.txt";

// The attachment folder "添付フォルダ" beside the data folder, with a closing separator.
[[nodiscard]] QString attachmentFolderPath();

// Hands one message to the mail layer, which writes its attachments into the
// attachment folder: the header and body go through the work file "0.txt"
// (CP932; a line ends at CR LF or a lone CR, every line comes back ended by
// CR LF, and the text ends with one NUL), the layer's two known failures are
// reported in message boxes, and "0.txt" is removed again. Nothing else in
// the folder is touched. When the work file cannot be written or read the
// message text is built in memory instead and WorkFileFailed returned; the
// caller reports that once.
ExtractionOutcome ExtractAttachments(MessageTexts &texts);

// Keeps the work file's inode between the messages of one check, under a
// second name in the program folder: "0.txt" is then linked to it again for
// the next message instead of being created anew, which on some file systems
// costs milliseconds once many files were deleted in the last seconds. "0.txt"
// still exists only while a message is handled; the second name is removed
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

inline constexpr char KeptWorkFileName[] = "0.txt.keep";

// As above, reusing the keeper's inode for "0.txt".
ExtractionOutcome ExtractAttachments(MessageTexts &texts, WorkFileKeeper *keeper);

} // namespace receive
