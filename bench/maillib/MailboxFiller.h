#pragma once

#include <QByteArray>
#include <QList>

#include <cstdint>

namespace bench {

// The benchmark's mailbox: mostly short Japanese mail (ISO-2022-JP, UTF-8 and
// raw 8-bit Shift_JIS), some 20-100 KB texts, and a few messages with
// attachments of up to 1 MB. The same seed gives the same messages.
struct MailboxMix
{
    int count = 1000;
    std::uint32_t seed = 20261209;
};

struct MailboxContents
{
    QList<QByteArray> messages;
    qint64 totalBytes = 0;
    int withAttachments = 0;
    int large = 0;
};

[[nodiscard]] MailboxContents makeMailbox(const MailboxMix &mix);

} // namespace bench
