// libFuzzer target for the POP3 reply parser. The input's first three bytes
// choose how the rest arrives (piece size), which replies are multi-line and
// how large a body may grow; the rest is what the server sends. The replies
// read as the pieces arrive must be those a plain line-by-line reading of the
// whole stream gives, and the listings read from them must hold together.
#include "maillib/Pop3ReplyParser_p.h"
#include "maillib/Pop3Session.h"

#include <QList>

#include <cstdint>
#include <cstdlib>

namespace {

using maillib::Pop3ReplyParser;
using Step = Pop3ReplyParser::Step;

struct Event
{
    bool body = false;
    QByteArray bytes;
    bool operator==(const Event &) const = default;
};

struct Plan
{
    qsizetype piece = 1;
    quint8 multiLine = 0;
    qsizetype limit = 0;

    bool bodyFollows(int reply, const QByteArray &status) const
    {
        return status.startsWith("+OK") && ((multiLine >> (reply % 8)) & 1);
    }
};

struct Outcome
{
    QList<Event> events;
    Step last = Step::NeedMore;
    bool inBody = false;
};

// What a line not yet complete adds to a body at least: nothing while it may
// still be the closing ".", else what has arrived of it (a stuffed dot is made
// up for by the line end still to come).
qsizetype leastFromPartialLine(const QByteArray &tail)
{
    return tail == "." || tail == ".\r" ? 0 : tail.size();
}

// The whole stream read line by line.
Outcome readWhole(const QByteArray &stream, const Plan &plan)
{
    Outcome out;
    qsizetype pos = 0;
    for (int reply = 0;; ++reply) {
        qsizetype eol = stream.indexOf('\n', pos);
        if (eol < 0) {
            out.last = stream.size() - pos > maillib::kPop3MaxStatusLine ? Step::TooLong : Step::NeedMore;
            return out;
        }
        QByteArray status = stream.mid(pos, eol - pos);
        if (status.endsWith('\r'))
            status.chop(1);
        pos = eol + 1;
        out.events.append({false, status});
        if (!plan.bodyFollows(reply, status))
            continue;
        QByteArray body;
        for (;;) {
            eol = stream.indexOf('\n', pos);
            if (eol < 0) {
                const qsizetype least = leastFromPartialLine(stream.mid(pos));
                out.last = body.size() + least > plan.limit ? Step::TooLong : Step::NeedMore;
                return out;
            }
            QByteArray line = stream.mid(pos, eol + 1 - pos);
            pos = eol + 1;
            if (line == ".\n" || line == ".\r\n")
                break;
            if (line.startsWith('.'))
                line.remove(0, 1);
            if (body.size() + line.size() > plan.limit) {
                out.last = Step::TooLong;
                return out;
            }
            body.append(line);
        }
        out.events.append({true, body});
    }
}

// The listings and the greeting checks must not trip over any of it.
void readListings(const QByteArray &body)
{
    const int count = int(qMin<qsizetype>(body.count('\n'), 1000));
    if (const auto sizes = maillib::pop3MessageSizes(body, count)) {
        if (sizes->size() != size_t(count))
            std::abort();
        for (qint64 size : *sizes) {
            if (size < 0)
                std::abort();
        }
    }
    if (const auto ids = maillib::pop3UniqueIds(body, count)) {
        for (const QByteArray &id : *ids) {
            if (id.isEmpty() || id.size() > 70)
                std::abort();
        }
    }
    for (const QString &name : maillib::pop3Capabilities(body)) {
        if (name.isEmpty())
            std::abort();
        for (QChar c : name) {
            if (c >= u'a' && c <= u'z')
                std::abort();
        }
    }
}

void readStatus(const QByteArray &line)
{
    (void)maillib::pop3Status(line);
    if (const auto count = maillib::pop3MessageCount(line); count && *count < 0)
        std::abort();
    const maillib::ApopTimestamp stamp = maillib::apopTimestamp(line);
    if (stamp.kind == maillib::ApopTimestamp::Kind::Valid
        && (!stamp.value.startsWith('<') || !stamp.value.endsWith('>') || !line.contains(stamp.value)))
        std::abort();
}

// The stream handed over piece by piece, as a socket would.
Outcome readInPieces(const QByteArray &stream, const Plan &plan)
{
    Outcome out;
    Pop3ReplyParser parser;
    int reply = 0;
    bool inBody = false;
    QByteArray body;
    for (qsizetype at = 0; at < stream.size(); at += plan.piece) {
        parser.append(stream.mid(at, plan.piece));
        while (parser.hasInput()) {
            if (!inBody) {
                QByteArray line;
                out.last = parser.readStatusLine(&line);
                out.inBody = false;
                if (out.last != Step::Done)
                    break;
                out.events.append({false, line});
                inBody = plan.bodyFollows(reply++, line);
                body.clear();
                continue;
            }
            out.last = parser.readBody(&body, plan.limit);
            out.inBody = true;
            if (out.last != Step::Done)
                break;
            out.inBody = false;
            out.events.append({true, body});
            inBody = false;
        }
        if (out.last == Step::TooLong)
            return out;
        parser.discardRead();
        out.last = Step::NeedMore;
    }
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    Plan plan;
    plan.piece = 1 + data[0];
    plan.multiLine = data[1];
    plan.limit = qsizetype(data[2]) * 64;
    const QByteArray stream(reinterpret_cast<const char *>(data + 3), qsizetype(size - 3));

    const Outcome whole = readWhole(stream, plan);
    const Outcome pieces = readInPieces(stream, plan);
    for (const Event &event : whole.events)
        event.body ? readListings(event.bytes) : readStatus(event.bytes);

    // A status line may pass its bound before its end arrives, which stops
    // the pieces early; up to there both readings agree.
    if (pieces.events.size() > whole.events.size())
        std::abort();
    for (qsizetype i = 0; i < pieces.events.size(); ++i) {
        if (!(pieces.events.at(i) == whole.events.at(i)))
            std::abort();
    }
    const bool statusCutShort = pieces.last == Step::TooLong && !pieces.inBody;
    if (!statusCutShort && (pieces.events.size() != whole.events.size() || pieces.last != whole.last))
        std::abort();
    return 0;
}
