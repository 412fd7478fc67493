#include "maillib/ServerTrust.h"

#include "common/ProfileFile.h"
#include "common/ProgramFolder.h"
#include "common/Prompts.h"

#include <QCryptographicHash>
#include <QHostAddress>
#include <QSet>

namespace maillib {

namespace {

const QString Section = QStringLiteral("SERVERS");

common::ProfileFile trustFile(const QString &path)
{
    common::ProfileFile file(path);
    // It names the certificates the user let through: nobody else may change or read it.
    file.setCreatePermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner, common::PermissionsOnEveryWrite);
    return file;
}

QString dateText(const QDateTime &when)
{
    return when.isValid() ? when.toLocalTime().toString(QStringLiteral("yyyy/MM/dd HH:mm")) : QStringLiteral("不明");
}

QString names(const QSslCertificate &certificate, bool issuer)
{
    const auto info = [&](QSslCertificate::SubjectInfo field) {
        return (issuer ? certificate.issuerInfo(field) : certificate.subjectInfo(field)).join(QStringLiteral(", "));
    };
    QStringList parts;
    for (const auto field : {QSslCertificate::CommonName, QSslCertificate::Organization,
                             QSslCertificate::OrganizationalUnitName, QSslCertificate::CountryName}) {
        const QString text = info(field);
        if (!text.isEmpty())
            parts << text;
    }
    return parts.isEmpty() ? QStringLiteral("（記載なし）") : parts.join(QStringLiteral(" / "));
}

} // namespace

QString serverKey(const QString &protocol, const QString &host, int port)
{
    const QString h = host.contains(u':') ? u'[' + host + u']' : host;
    return protocol + QStringLiteral("://") + h.toLower() + u':' + QString::number(port);
}

bool isLoopbackHost(const QString &host)
{
    if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return true;
    const QHostAddress address(host);
    return !address.isNull() && address.isLoopback();
}

QString certificateFingerprint(const QSslCertificate &certificate)
{
    return QString::fromLatin1(certificate.digest(QCryptographicHash::Sha256).toHex(':').toUpper());
}

ServerTrust::ServerTrust()
    : ServerTrust(common::ProgramFolder::dataFile(QString::fromLatin1(ServerTrustFileName)))
{
}

ServerTrust::ServerTrust(QString path)
    : m_path(std::move(path))
{
}

QString ServerTrust::read(const QString &key) const
{
    return trustFile(m_path).readText(Section, key, QString());
}

void ServerTrust::write(const QString &key, const QString &value)
{
    trustFile(m_path).write(Section, key, value);
}

ServerTrust::Consent ServerTrust::plainPassword(const QString &server) const
{
    const QString value = read(server + QStringLiteral("/plain"));
    return value == QLatin1String("1") ? Consent::Allowed
        : value == QLatin1String("0")  ? Consent::Refused
                                       : Consent::Unasked;
}

void ServerTrust::setPlainPassword(const QString &server, bool allowed)
{
    write(server + QStringLiteral("/plain"), allowed ? QStringLiteral("1") : QStringLiteral("0"));
}

bool ServerTrust::offeredTls(const QString &server) const
{
    return read(server + QStringLiteral("/tls")) == QLatin1String("1");
}

void ServerTrust::noteOfferedTls(const QString &server)
{
    if (!offeredTls(server))
        write(server + QStringLiteral("/tls"), QStringLiteral("1"));
}

QByteArray ServerTrust::trustedCertificate(const QString &server) const
{
    return QByteArray::fromHex(read(server + QStringLiteral("/certificate")).toLatin1());
}

void ServerTrust::trustCertificate(const QString &server, const QSslCertificate &certificate)
{
    write(server + QStringLiteral("/certificate"),
          QString::fromLatin1(certificate.digest(QCryptographicHash::Sha256).toHex()));
}

namespace {

class PromptQuestions final : public ServerQuestions
{
public:
    bool canAsk() const override { return common::hasPrompts(); }

    bool allowPlainPassword(const QString &shownName) override
    {
        return common::prompts().askYesNoDefaultNo(
            QStringLiteral("メールサーバー「%1」は暗号化通信に対応していません。\n"
                           "このままログインすると、パスワードが暗号化されずにネットワークを流れ、"
                           "途中で盗み見られるおそれがあります。\n\n"
                           "パスワードを暗号化せずに送ってもよいですか？\n"
                           "（この答えはこのサーバーについて記憶され、次からは確認しません。）")
                .arg(shownName),
            QStringLiteral("確認"), common::PromptIcon::Warning);
    }

    bool trustCertificate(const QString &shownName, const QSslCertificate &certificate, const QStringList &reasons,
                          bool replacesTrusted) override
    {
        const QString text =
            QStringLiteral("メールサーバー「%1」の証明書を確認できませんでした。\n%2\n\n"
                           "発行先: %3\n発行者: %4\n有効期間: %5 から %6 まで\nSHA-256 指紋:\n%7\n\n"
                           "%8"
                           "この証明書がこのサーバーのものであることを、プロバイダーや管理者に指紋で確かめてから"
                           "信頼してください。\nこの証明書を信頼して接続しますか？")
                .arg(shownName, reasons.join(u'\n'), names(certificate, false), names(certificate, true),
                     dateText(certificate.effectiveDate()), dateText(certificate.expiryDate()),
                     certificateFingerprint(certificate),
                     replacesTrusted ? QStringLiteral("このサーバーについて以前に信頼した証明書とは違う証明書です。"
                                                      "通信が途中で書き換えられているおそれがあります。\n\n")
                                     : QString());
        return common::prompts().askYesNoDefaultNo(text, QStringLiteral("確認"), common::PromptIcon::Warning);
    }
};

} // namespace

ServerQuestions &promptServerQuestions()
{
    static PromptQuestions questions;
    return questions;
}

bool askPlainPasswordConsent(ServerTrust &trust, ServerQuestions &questions, const QString &server,
                             const QString &shownName)
{
    if (!questions.canAsk())
        return false;
    const bool allowed = questions.allowPlainPassword(shownName);
    trust.setPlainPassword(server, allowed);
    return allowed;
}

bool askTrustCertificate(ServerTrust &trust, ServerQuestions &questions, const QString &server,
                         const QString &shownName, const QSslCertificate &certificate, const QStringList &reasons,
                         QSet<QByteArray> *refused)
{
    const QByteArray digest = certificate.digest(QCryptographicHash::Sha256);
    const QByteArray refusal = server.toUtf8() + digest;
    if (certificate.isNull() || !questions.canAsk() || (refused && refused->contains(refusal)))
        return false;
    const bool replacesTrusted = !trust.trustedCertificate(server).isEmpty();
    if (!questions.trustCertificate(shownName, certificate, reasons, replacesTrusted)) {
        if (refused)
            refused->insert(refusal);
        return false;
    }
    trust.trustCertificate(server, certificate);
    return true;
}

QString plainPasswordRefusedText(const QString &shownName)
{
    return QStringLiteral("メールサーバー「%1」は暗号化通信に対応していないため、パスワードを送らずに"
                          "ログインを中止しました。\n"
                          "暗号化せずに送ることを許可するには、データフォルダの「%2」からこのサーバーの行を"
                          "削除して、もう一度お試しください。")
        .arg(shownName, QString::fromLatin1(ServerTrustFileName));
}

QString encryptionWithdrawnText(const QString &shownName)
{
    return QStringLiteral("メールサーバー「%1」は以前は暗号化通信(STLS)に対応していましたが、今回は対応していません。\n"
                          "通信が途中で書き換えられている（攻撃を受けている）おそれがあるため、"
                          "パスワードを送らずに接続を中止しました。")
        .arg(shownName);
}

} // namespace maillib
