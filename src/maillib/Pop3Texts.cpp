#include "maillib/Pop3Texts.h"

#include <iterator>

namespace maillib {

namespace {

struct TextEntry
{
    Pop3Text id;
    const char16_t *text;
};

// In the order of Pop3Text.
constexpr TextEntry Texts[] = {
    {Pop3Text::NoResponse, u"POP3 サーバーから応答がないため、処理を打ち切りました。"},
    {Pop3Text::TooSlow, u"POP3 サーバーの応答が遅すぎるため、処理を打ち切りました。"},
    {Pop3Text::SessionInUse, u"この接続はすでに使われています。"},
    {Pop3Text::AlreadyLoggedIn, u"POP3 サーバーにはすでにログインしています。"},
    {Pop3Text::NotConnectedForLogin, u"POP3 サーバーに接続していないため、ログインできません。"},
    {Pop3Text::BadCredentialCharacters, u"ユーザーIDまたはパスワードに使えない文字が含まれています。"},
    {Pop3Text::ApopUnsupported, u"POP3 サーバーが APOP に対応していないため、ログインできません。"},
    {Pop3Text::ApopTimestampMalformed, u"POP3 サーバーの APOP タイムスタンプが不正なため、ログインを中止しました。"},
    {Pop3Text::BadReply, u"POP3 サーバーの応答が不正です。"},
    {Pop3Text::TooManyMessages,
     u"POP3 サーバーが知らせたメールの数（%1 通）が多すぎるため、受信できません。一度に受信できるのは %2 通までです。"},
    {Pop3Text::ListingMismatch, u"POP3 サーバーが知らせたメールの数（%1 通）と一覧が合わないため、受信を中止しました。"},
    {Pop3Text::NotLoggedIn, u"POP3 サーバーにログインしていません。"},
    {Pop3Text::NoSuchMessage, u"メール番号 %1 はありません。"},
    {Pop3Text::MessageDeleted, u"メール番号 %1 は削除済みです。"},
    {Pop3Text::MessageTooLarge, u"メール番号 %1 は大きすぎるため受信しませんでした（%2 バイト）。"},
    {Pop3Text::NotConnected, u"POP3 サーバーに接続していません。"},
    {Pop3Text::MessageRefused,
     u"メール番号 %1 をサーバーが送らなかったため、受信できませんでした。このメールはサーバーに残っています。"},
    {Pop3Text::UnexpectedData, u"POP3 サーバーから予期しないデータが届きました。"},
    {Pop3Text::StatusLineTooLong, u"POP3 サーバーの応答行が長すぎます。"},
    {Pop3Text::DataTooLarge, u"POP3 サーバーから届いたデータが大きすぎます。"},
    {Pop3Text::GreetingRefused, u"POP3 サーバーが接続を断りました。"},
    {Pop3Text::LoginRefused, u"POP3 サーバーにログインできませんでした。ユーザーIDとパスワードを確認してください。"},
    {Pop3Text::StlsRefused, u"POP3 サーバーが暗号化通信(STLS)を断りました。"},
    {Pop3Text::QuitRefused, u"POP3 サーバーが終了処理に失敗したため、メールの削除は確定していません。"},
    {Pop3Text::CommandRefused, u"POP3 サーバーがエラーを返したため、接続を終了しました（%1）。削除の指定は取り消されました。"},
    {Pop3Text::TlsFailed, u"POP3 サーバーと暗号化通信を始められませんでした。"},
    {Pop3Text::ConnectFailed, u"POP3 サーバー %1 に接続できませんでした。"},
    {Pop3Text::TransferFailed, u"POP3 サーバーとの通信に失敗しました。"},
    {Pop3Text::CertificateRejected, u"POP3 サーバーの証明書を確認できないため、接続を中止しました。"},
    {Pop3Text::ClosedWhileConnecting, u"POP3 サーバーが接続を切りました。"},
    {Pop3Text::ConnectionLost, u"POP3 サーバーとの接続が切れました。削除の指定は取り消されました。"},
};

constexpr bool inEnumOrder()
{
    for (size_t i = 0; i < std::size(Texts); ++i) {
        if (Texts[i].id != static_cast<Pop3Text>(i))
            return false;
    }
    return std::size(Texts) == static_cast<size_t>(Pop3Text::Count);
}
static_assert(inEnumOrder(), "one text for every Pop3Text, in its order");

// Longest piece of a server's line quoted in an error text.
constexpr qsizetype MaxQuotedReply = 200;

QString serverText(const QByteArray &line)
{
    QString text = QString::fromUtf8(line.left(MaxQuotedReply * 4));
    if (text.size() > MaxQuotedReply) {
        qsizetype cut = MaxQuotedReply;
        if (text.at(cut - 1).isHighSurrogate())
            --cut;
        text = text.left(cut) + QStringLiteral("…");
    }
    for (QChar &c : text) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            c = u' ';
    }
    return text;
}

} // namespace

QString pop3Text(Pop3Text text)
{
    return QString::fromUtf16(Texts[static_cast<size_t>(text)].text);
}

QString withServerReply(const QString &text, const QByteArray &reply)
{
    return reply.isEmpty() ? text : text + u'\n' + serverText(reply);
}

QString pop3TextWithReply(Pop3Text text, const QByteArray &reply)
{
    return withServerReply(pop3Text(text), reply);
}

} // namespace maillib
