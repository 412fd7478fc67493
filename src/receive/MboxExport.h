#pragma once

#include "receive/MailRecord.h"

#include <QByteArray>
#include <QString>

#include <atomic>
#include <functional>

namespace receive {

// Which records to export: numbers first to last, counted from 1; last 0
// means to the end of the store.
struct ExportOptions
{
    QString path; // the mbox file to write; must not exist yet
    int first = 1;
    int last = 0;
};

struct ExportResult
{
    bool ok = false;
    QString error;           // Japanese, when not ok
    int first = 0;           // the records exported, first to last
    int last = 0;
    int exported = 0;
    int originals = 0;       // messages exported as the whole original kept beside the record
    int originalsMissing = 0; // records naming a whole original that is no longer there
};

// Writes the stored mail into a new mbox file (mboxrd), in store order. A
// record whose body names a whole message kept in the attachment folder is
// exported as that file, byte for byte; any other record as a message built
// from it (messageFromRecord). The file appears under its name only once it
// is complete. progress is called with the number of records done; stop,
// when set, ends the export without the file.
[[nodiscard]] ExportResult exportMbox(const ExportOptions &options, const std::function<void(int)> &progress = {},
                                      const std::atomic_bool *stop = nullptr);

// A well-formed message holding one record: Subject, From and Date as stored
// (encoded as outgoing mail encodes them), a text/plain UTF-8 body and a
// Message-ID derived from the record's texts, so that the same record always
// gives the same message. Read back as received mail, it gives the same texts.
// Lines end in LF.
[[nodiscard]] QByteArray messageFromRecord(const MailRecord &record);

} // namespace receive
