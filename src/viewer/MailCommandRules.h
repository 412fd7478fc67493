#pragma once

#include <QString>

#include <functional>

// The rules of the viewer's commands that act on the clicked mail, apart from
// the window.
namespace viewer {

// The mail the viewer shows, as it was read from the store or handed over by
// a mail check: its record number (0 while it is in no row of the list) and
// its texts. The viewer owns it; the reply window gets a copy.
struct ShownMail
{
    int recordNumber = 0;
    QString subject;
    QString from;
    QString date;
    QString body;
};

// What the reply window is filled with: "Re:" and two blanks before the
// subject, the sender as recipient and the body unchanged, each with the
// blanks (U+0020 only) removed at both ends.
struct ReplyFields
{
    QString subject;
    QString recipient;
    QString body;
};
[[nodiscard]] ReplyFields buildReplyFields(const QString &subject, const QString &sender, const QString &body);

// The message shown when a command needs a fresh click in the list.
inline constexpr char16_t NoSelectionText[] = u"データが選択されていません";

// The selection marker rule of reply, register and quick save: without a
// fresh click (marked false) shows "データが選択されていません" and returns
// false; otherwise calls clear, so the next use needs a new click, and
// returns true.
bool takeSelection(bool marked, const std::function<void()> &clear);

// The header copy: which box the pointer last moved over decides the copy
// button's colour and, for the three header boxes, the preview text.
enum class HeaderSource { Subject, Sender, Date, Other };
struct CopyButtonColour
{
    int red, green, blue;
    friend bool operator==(const CopyButtonColour &, const CopyButtonColour &) = default;
};
[[nodiscard]] CopyButtonColour copyButtonColour(HeaderSource source);

} // namespace viewer
