#include "receive/MboxExport.h"

#include "common/TextHelpers.h"
#include "maillib/MessageBuilder.h"
#include "maillib/OutgoingCharset.h"
#include "receive/AttachmentFolder.h"
#include "receive/LongMail.h"
#include "receive/MailCheck.h"
#include "receive/Mbox.h"
#include "receive/MailStore.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

namespace receive {
namespace {

struct Mailbox
{
    QString name;
    QString address;
    bool angle = false;
};

// The mailboxes of a stored sender text, which is a list of "name <address>",
// "address" or a name alone, joined by ", ", a name quoted where it holds a
// special character. A text cut at the field's width is read as far as it goes.
QList<Mailbox> storedMailboxes(const QString &from)
{
    QList<Mailbox> boxes;
    Mailbox current;
    auto finish = [&] {
        current.name = current.name.trimmed();
        if (!current.name.isEmpty() || current.angle)
            boxes.append(current);
        current = Mailbox();
    };
    for (qsizetype i = 0; i < from.size(); ++i) {
        const QChar c = from.at(i);
        if (c == u'"') {
            for (++i; i < from.size() && from.at(i) != u'"'; ++i) {
                if (from.at(i) == u'\\' && i + 1 < from.size())
                    ++i;
                current.name += from.at(i);
            }
        } else if (c == u'<' && !current.angle) {
            current.angle = true;
            for (++i; i < from.size() && from.at(i) != u'>'; ++i)
                current.address += from.at(i);
        } else if (c == u',') {
            finish();
        } else if (!current.angle) {
            current.name += c;
        }
    }
    finish();
    return boxes;
}

// A display name as a phrase of the field: ASCII quoted where it must be,
// anything else as encoded words.
QByteArray namePhrase(const QString &name)
{
    if (!maillib::isAscii(name))
        return maillib::encodeHeaderWords(name);
    static const QString specials = QStringLiteral("()<>[]:;@\\,.\"");
    if (std::none_of(name.begin(), name.end(), [](QChar c) { return specials.contains(c); }))
        return name.toLatin1();
    QByteArray quoted = "\"";
    for (QChar c : name) {
        if (c == u'"' || c == u'\\')
            quoted += '\\';
        quoted += char(c.unicode());
    }
    return quoted + '"';
}

bool isAddrSpec(const QString &text)
{
    return text.count(u'@') == 1
           && std::none_of(text.begin(), text.end(), [](QChar c) { return c.unicode() <= 0x20 || c == u'"'; });
}

QByteArray fromFieldValue(const QString &from)
{
    QList<QByteArray> parts;
    for (const Mailbox &box : storedMailboxes(from)) {
        // Addresses go as they are: ASCII, or UTF-8 for an internationalised one.
        if (box.angle)
            parts << (box.name.isEmpty() ? QByteArray() : namePhrase(box.name) + ' ') + '<' + box.address.toUtf8() + '>';
        else if (isAddrSpec(box.name))
            parts << box.name.toUtf8();
        else
            parts << namePhrase(box.name);
    }
    return parts.join(QByteArrayLiteral(", "));
}

// The address for the separator line: the first mailbox's.
QString envelopeSender(const QString &from)
{
    const QList<Mailbox> boxes = storedMailboxes(from);
    if (boxes.isEmpty())
        return {};
    return boxes.first().angle ? boxes.first().address : boxes.first().name;
}

// A field value with every line break and control character made a blank.
QByteArray plainFieldValue(const QString &text)
{
    return maillib::flattenSubject(text).toUtf8();
}

// The subject as outgoing mail carries it; that flattens control characters,
// so a subject that holds one (a tab, as received) goes in encoded words.
QByteArray subjectValue(const QString &subject)
{
    return maillib::flattenSubject(subject) == subject ? maillib::subjectFieldValue(subject)
                                                        : maillib::encodeHeaderWords(subject);
}

QString storedText(const QString &field)
{
    return common::trimBlanks(field);
}

// The body to export. When the stored body is the text plus the attachment
// notice, and the text alone makes a reader add the notice again (it holds
// the word the mail check looks for), the notice is left out.
QString exportedBody(const QString &body)
{
    const QString notice = QStringLiteral("\r\n") + QString::fromUtf16(checktext::AttachmentNotice);
    if (body.endsWith(notice)) {
        const QString text = body.chopped(notice.size());
        if (text.contains(QLatin1String("attachment"), Qt::CaseSensitive))
            return text;
    }
    return body;
}

} // namespace

QByteArray messageFromRecord(const MailRecord &record)
{
    const QString subject = storedText(record.subject);
    const QString from = storedText(record.from);
    const QString date = storedText(record.date);
    const QString storedBody = storedText(record.body);
    const QString body = exportedBody(storedBody);

    const QByteArray storedUtf8 = storedBody.toUtf8();
    const QByteArray bodyUtf8 = body.size() == storedBody.size() ? storedUtf8 : body.toUtf8();

    QCryptographicHash digest(QCryptographicHash::Sha256);
    for (const QString *text : {&subject, &from, &date}) {
        digest.addData(text->toUtf8());
        digest.addData(QByteArrayView("\0", 1));
    }
    digest.addData(storedUtf8);
    const QByteArray id = digest.result().toHex().left(32);

    QByteArray out;
    if (!from.isEmpty())
        out += "From: " + fromFieldValue(from) + '\n';
    if (!date.isEmpty())
        out += "Date: " + plainFieldValue(date) + '\n';
    if (!subject.isEmpty())
        out += "Subject: " + subjectValue(subject) + '\n';
    out += "Message-ID: <" + id + "@glimramail.invalid>\n";
    out += "MIME-Version: 1.0\n";
    out += "Content-Type: text/plain; charset=UTF-8\n";

    // Read back, the text's lines end in CR LF and an 8bit body keeps its
    // last line end; so the text goes as 8bit lines when it ends with a line
    // end (or is empty) and no line is too long for mail, and as base64
    // otherwise, which keeps it exactly.
    QByteArray text = bodyUtf8;
    text.replace("\r\n", "\n");
    bool eightBit = text.isEmpty() || text.endsWith('\n');
    for (qsizetype start = 0; eightBit && start < text.size();) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        eightBit = end - start <= 998;
        start = end + 1;
    }
    if (eightBit) {
        out += "Content-Transfer-Encoding: 8bit\n\n";
        out += text;
    } else {
        out += "Content-Transfer-Encoding: base64\n\n";
        const QByteArray encoded = bodyUtf8.toBase64();
        for (qsizetype i = 0; i < encoded.size(); i += 76)
            out += encoded.mid(i, 76) + '\n';
    }
    return out;
}

namespace {

// Why the export cannot start with these options; empty when it can.
QString optionsProblem(const ExportOptions &options, int count)
{
    if (options.first < 1 || (options.last != 0 && options.last < options.first))
        return QStringLiteral("書き出す範囲が正しくありません（--first は 1 以上、--last は --first 以上にしてください）。");
    if (count > 0 && options.first > count)
        return QStringLiteral("保存されているメールは %1 件なので、%2 件目からは書き出せません。").arg(count).arg(options.first);
    if (QFileInfo::exists(options.path)) {
        return QStringLiteral("「%1」はすでにあります。上書きはしないので、別の名前を指定するか、そのファイルを"
                              "移してからもう一度実行してください。")
            .arg(options.path);
    }
    return {};
}

// The message as received when its whole copy is in the attachment folder,
// otherwise rebuilt from the record; counts which it was. False with the
// error when the copy is there but cannot be read.
bool messageOf(const MailRecord &record, const QString &folder, QByteArray *message, ExportResult *result)
{
    if (const QString name = wholeMessageFileNamed(record.body); !name.isEmpty()) {
        QFile original(folder + name);
        if (original.open(QIODevice::ReadOnly)) {
            *message = original.readAll();
            if (original.error() != QFileDevice::NoError) {
                result->error = QStringLiteral("添付フォルダの「%1」を読めません（%2）。").arg(name, original.errorString());
                return false;
            }
        }
        ++(message->isEmpty() ? result->originalsMissing : result->originals);
    }
    if (message->isEmpty())
        *message = messageFromRecord(record);
    return true;
}

} // namespace

ExportResult exportMbox(const ExportOptions &options, const std::function<void(int)> &progress,
                        const std::atomic_bool *stop)
{
    ExportResult result;
    MailStore store;
    const int count = store.CountMailRecords();
    if (!store.lastStatus()) {
        result.error = store.lastStatus().message();
        return result;
    }
    result.first = options.first;
    result.last = options.last == 0 ? count : qMin(options.last, count);
    result.error = optionsProblem(options, count);
    if (!result.error.isEmpty())
        return result;

    QSaveFile file(options.path);
    if (!file.open(QIODevice::WriteOnly)) {
        result.error = QStringLiteral("「%1」を作れません（%2）。").arg(options.path, file.errorString());
        return result;
    }
    const QString folder = attachmentFolderPath();
    for (int n = result.first; n <= result.last; ++n) {
        if (stop && stop->load()) {
            result.error = QStringLiteral("中断しました。ファイルは作っていません。");
            return result;
        }
        if (store.GetMailRecord(n) != common::RecordRead::Read) {
            result.error = QStringLiteral("%1 件目のメールを読めません。%2").arg(n).arg(store.lastStatus().message());
            return result;
        }
        const MailRecord &record = CurrentMailRecord;
        QByteArray message;
        if (!messageOf(record, folder, &message, &result))
            return result;
        const QByteArray entry =
            mbox::entry(mbox::separatorLine(envelopeSender(storedText(record.from)), storedText(record.date)), message);
        if (file.write(entry) != entry.size()) {
            result.error = QStringLiteral("「%1」に書き込めません（%2）。").arg(options.path, file.errorString());
            return result;
        }
        ++result.exported;
        if (progress)
            progress(result.exported);
    }
    if (!file.commit()) {
        result.error = QStringLiteral("「%1」を書き終えられません（%2）。").arg(options.path, file.errorString());
        return result;
    }
    result.ok = true;
    return result;
}

} // namespace receive
