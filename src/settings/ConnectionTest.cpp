#include "settings/ConnectionTest.h"

#include "maillib/NMail.h"
#include "maillib/SmtpServerName.h"

#include <QScopeGuard>

namespace settings {
namespace {

ServerTestResult testPop3(const AccountSettings &settings, const Credentials &credentials)
{
    using namespace maillib;
    ServerTestResult result;
    result.tried = !settings.Pop3Server.trimmed().isEmpty();
    if (!result.tried)
        return result;
    const int handle = NMailPop3Connect(settings.Pop3Server.trimmed());
    if (handle < 0) {
        result.problem = NMailGetMessage();
        return result;
    }
    result.reached = true;
    result.encrypted = NMailPop3IsEncrypted(handle);
    if (!credentials.userId.isEmpty() && !credentials.password.isEmpty()) {
        result.loginTried = true;
        const int count = NMailPop3Authenticate(handle, credentials.userId, credentials.password, settings.UseApop);
        result.loginAccepted = count >= 0;
        if (!result.loginAccepted)
            result.problem = NMailGetMessage();
    }
    // QUIT ends the session; nothing was marked for deletion.
    (void)NMailPop3Close(handle);
    return result;
}

ServerTestResult testSmtp(const AccountSettings &settings, const Credentials &credentials)
{
    using namespace maillib;
    ServerTestResult result;
    const QString server = settings.SmtpServer.trimmed();
    result.tried = !server.isEmpty();
    if (!result.tried)
        return result;
    // Only an address that names a user logs in ("smtp://user@host:587").
    SmtpServerName name;
    const bool namesUser = SmtpServerName::parse(server, &name) && !name.user.isEmpty();
    if (namesUser && (credentials.userId.isEmpty() || credentials.password.isEmpty())) {
        result.problem = QStringLiteral("SMTPサーバーの認証に使うユーザーIDとパスワードが設定されていません。");
        return result;
    }
    const int code = NMailSmtpLogin(server, &result.encrypted);
    result.loginTried = namesUser && (code >= 0 || code == NMailErrorAuthenticate);
    // A refused login means the server was reached and talked.
    result.reached = code >= 0 || code == NMailErrorAuthenticate;
    result.loginAccepted = namesUser && code >= 0;
    // The layer sends a password only over TLS.
    if (result.loginTried)
        result.encrypted = true;
    if (code < 0)
        result.problem = NMailGetMessage();
    return result;
}

QString block(const QString &title, const QString &server, const ServerTestResult &r, bool loginNeedsUser)
{
    QStringList lines;
    lines << QStringLiteral("■ %1（%2）").arg(title, server.trimmed());
    if (!r.tried) {
        lines << QStringLiteral("　サーバー名が入力されていないため、試していません。");
        return lines.join(u'\n');
    }
    lines << (r.reached ? QStringLiteral("　接続：できました。") : QStringLiteral("　接続：できませんでした。"));
    if (r.reached)
        lines << (r.encrypted ? QStringLiteral("　暗号化：あり（TLS）")
                              : QStringLiteral("　暗号化：なし（ID・パスワードとメールは暗号化されずに送られます）"));
    if (r.reached) {
        if (r.loginAccepted)
            lines << QStringLiteral("　ログイン：成功しました。");
        else if (r.loginTried)
            lines << QStringLiteral("　ログイン：できませんでした。");
        else if (loginNeedsUser)
            lines << QStringLiteral("　ログイン：サーバー名にユーザーが書かれていないため、行いません（認証なしで送信します）。");
        else
            lines << QStringLiteral("　ログイン：ID・パスワードが保存されていないため、試していません。");
    }
    if (!r.problem.isEmpty())
        lines << QStringLiteral("　詳細：") + QString(r.problem).replace(u'\n', QStringLiteral("\n　　"));
    return lines.join(u'\n');
}

} // namespace

ConnectionTestResult testConnections(const AccountSettings &settings, const Credentials &credentials, int timeoutMs)
{
    const int previousTimeout = maillib::NMailGetOption(maillib::NMailOptionTimeoutMs);
    maillib::NMailSetOption(maillib::NMailOptionTimeoutMs, timeoutMs);
    const auto restore = qScopeGuard(
        [previousTimeout] { maillib::NMailSetOption(maillib::NMailOptionTimeoutMs, previousTimeout); });
    ConnectionTestResult result;
    result.pop3 = testPop3(settings, credentials);
    result.smtp = testSmtp(settings, credentials);
    return result;
}

QString connectionTestReport(const AccountSettings &settings, const ConnectionTestResult &result)
{
    return block(QStringLiteral("受信（POP3）サーバー"), settings.Pop3Server, result.pop3, false) + QStringLiteral("\n\n")
           + block(QStringLiteral("送信（SMTP）サーバー"), settings.SmtpServer, result.smtp, true)
           + QStringLiteral("\n\nメールの受信・削除・送信は行っていません。");
}

} // namespace settings
