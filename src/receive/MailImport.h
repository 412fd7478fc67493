#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

namespace receive {

// The messages of an mbox file or of a maildir folder (its cur/ and new/),
// one after another in the source's order: an mbox file's order, or the
// maildir's delivery order as its file names give it.
class MailSource
{
public:
    virtual ~MailSource() = default;
    // The next message's bytes; false at the end or on a failure (error() set).
    [[nodiscard]] virtual bool next(QByteArray *message) = 0;
    [[nodiscard]] virtual QString error() const = 0;

    // The source at path: a folder with cur/ or new/ is a maildir, a file an
    // mbox file. Null with error set to a Japanese reason when it is neither
    // or cannot be read.
    [[nodiscard]] static std::unique_ptr<MailSource> open(const QString &path, QString *error);
};

// The files of a maildir's cur/ and new/ in delivery order: by the number
// their names begin with (the delivery time), then by name. Hidden files are
// left out.
[[nodiscard]] QStringList maildirFiles(const QString &folder);

// Which messages of the source to import: numbers first to last, counted from
// 1 in the source's order; last 0 means to the end.
struct ImportOptions
{
    QString path;
    int first = 1;
    int last = 0;
};

struct ImportResult
{
    enum class End {
        Done,      // every message asked for is stored
        StoreFull, // the store reached its last record with messages left
        Stopped,   // stopped on request, after a whole message
        Failed,    // a message could not be read or stored; error tells why
    };
    End end = End::Failed;
    QString error;
    int imported = 0;
    // The number of the first message of the source not imported, for a
    // later import to go on from; 0 when none is left.
    int nextFirst = 0;
};

// Stores the messages of the source as mail coming in is stored (see
// storeReceivedMail), committing them to the disk in groups and at the end, so
// that whatever ends the import, the store holds every message up to the
// last one stored whole. progress is called with the source's number of the
// message in hand before it is stored; stop, when set, ends the import after
// the message in hand.
[[nodiscard]] ImportResult importMail(const ImportOptions &options, const std::function<void(int)> &progress = {},
                                      const std::atomic_bool *stop = nullptr);

} // namespace receive
