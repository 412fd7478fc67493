#pragma once

#include "common/StoreStatus.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace addressbook {
class AddressStore;
}

namespace compose {

// The mail as the composer holds it when "送信" is pressed.
struct OutgoingDraft
{
    QString subject;
    QString body;        // plain text
    QStringList attachments; // full paths
    bool withFortune = false;
};

// Where one mail goes: a typed recipient (record 0), or an address book entry.
struct SendTarget
{
    int recordNumber = 0;
    QString address;
};

struct SendResult
{
    SendTarget target;
    int code = 0;      // the mail layer's result; negative: not sent
    QString error;     // the layer's message when not sent
    QString body;      // the body that was handed to the layer
    [[nodiscard]] bool sent() const { return code >= 0; }
};

// A text without its trailing blanks (U+0020); leading blanks stay.
[[nodiscard]] QString withoutTrailingBlanks(const QString &text);

// The recipients of a bulk send: entries 1 to count of the book, in record
// order, each address without its trailing blanks. A book that has become
// shorter than count gives the entries it has. status tells whether the book
// could be read.
[[nodiscard]] QList<SendTarget> bulkTargets(addressbook::AddressStore &store, int count,
                                            common::StoreStatus *status);

// Sends the draft to one target through the mail layer, with the account's
// SMTP server and own address. With the fortune ticked the body gets one
// fortune of its own, drawn through the process's random source.
[[nodiscard]] SendResult sendDraft(const OutgoingDraft &draft, const SendTarget &target);

// True for a failure that does not depend on the recipient (an attachment
// that cannot be read, no connection to the server, a refused login): a bulk
// send stops there instead of failing the same way for every entry.
[[nodiscard]] bool failureStopsBulkSend(int code);

// The one message shown after a bulk send that did not reach everyone: the
// counts, then each address that failed with the server's reason.
[[nodiscard]] QString bulkSendSummary(const QList<SendResult> &failures, int sent, int total, int unsent);

// The status line while pass of total is being sent ("（3 / 500 件目）").
[[nodiscard]] QString sendingText(int pass, int total);
inline constexpr char16_t SendingText[] = u"メールを送信中です。しばらくお待ち下さい。";
inline constexpr char16_t SentText[] = u"送信完了です。";

} // namespace compose
