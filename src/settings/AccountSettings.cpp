#include "settings/AccountSettings.h"

#include "common/CaseInsensitivePath.h"
#include "common/Cp932.h"
#include "common/TextHelpers.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStringList>

#include <cmath>
#include <limits>

namespace settings {
namespace {

constexpr qsizetype KeyLength = 5;
constexpr qsizetype MaxValueLength = 100;

// Lines end at CR LF, a lone CR or a lone LF: a file edited by hand on this
// system should not run its lines together.
QStringList splitLines(const QString &text)
{
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n'))
            continue;
        lines << text.mid(start, i - start);
        if (c == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines << text.mid(start);
    return lines;
}

bool isNumberBlank(QChar c)
{
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\n');
}

} // namespace

AccountSettings &accountSettings()
{
    static AccountSettings settings;
    return settings;
}

QString accountFilePath()
{
    return common::resolveCaseInsensitive(QDir::currentPath(), QString::fromLatin1(AccountFileName));
}

qint16 leadingNumberAsInt16(const QString &text)
{
    // Collect the leading numeric part: sign, digits, one decimal point and an
    // exponent, with blanks anywhere in between ignored.
    QString number;
    bool seenDigit = false, seenPoint = false, seenExponent = false;
    for (QChar c : text) {
        if (isNumberBlank(c))
            continue;
        const bool atStart = number.isEmpty() || number.back() == QLatin1Char('e');
        if ((c == QLatin1Char('+') || c == QLatin1Char('-')) && atStart) {
            number += c;
        } else if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
            number += c;
            seenDigit = true;
        } else if (c == QLatin1Char('.') && !seenPoint && !seenExponent) {
            number += c;
            seenPoint = true;
        } else if ((c == QLatin1Char('e') || c == QLatin1Char('E') || c == QLatin1Char('d') || c == QLatin1Char('D'))
                   && seenDigit && !seenExponent) {
            number += QLatin1Char('e');
            seenExponent = true;
        } else {
            break;
        }
    }
    // A dangling exponent or sign does not belong to the number.
    while (!number.isEmpty() && !number.back().isDigit() && number.back() != QLatin1Char('.'))
        number.chop(1);
    bool ok = false;
    const double value = number.toDouble(&ok);
    if (!ok || !seenDigit || !std::isfinite(value))
        return 0;
    const double rounded = std::nearbyint(value); // the default rounding mode sends halves to even
    if (rounded > std::numeric_limits<qint16>::max())
        return std::numeric_limits<qint16>::max();
    if (rounded < std::numeric_limits<qint16>::min())
        return std::numeric_limits<qint16>::min();
    return qint16(rounded);
}

void applyAccountFileContent(const QByteArray &content, AccountSettings *settings)
{
    const QStringList lines = splitLines(common::fromCp932(content));
    for (const QString &line : lines) {
        const QString key = line.left(KeyLength);
        const QString value = line.mid(KeyLength, MaxValueLength);
        if (key == QLatin1String("SMTP="))
            settings->SmtpServer = value;
        else if (key == QLatin1String("POP3="))
            settings->Pop3Server = value;
        else if (key == QLatin1String("MAIL="))
            settings->MailAddress = value;
        else if (key == QLatin1String("APOP="))
            settings->UseApop = leadingNumberAsInt16(value);
    }
}

QByteArray accountFileContent(const AccountSettings &settings)
{
    const QString text = QStringLiteral("SMTP=") + settings.SmtpServer + QStringLiteral("\r\n")
                         + QStringLiteral("POP3=") + settings.Pop3Server + QStringLiteral("\r\n")
                         + QStringLiteral("MAIL=") + settings.MailAddress + QStringLiteral("\r\n")
                         + QStringLiteral("APOP=") + QString::number(settings.UseApop) + QStringLiteral("\r\n");
    return common::toCp932(text);
}

void LoadAccountFile()
{
    QFile file(accountFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return;
    applyAccountFileContent(file.readAll(), &accountSettings());
}

bool SaveAccountFile()
{
    // A value with a line break would write a line of its own into the file,
    // which the next start obeys as a setting.
    const AccountSettings &values = accountSettings();
    if (common::hasLineBreak(values.SmtpServer) || common::hasLineBreak(values.Pop3Server)
        || common::hasLineBreak(values.MailAddress))
        return false;
    QSaveFile file(accountFilePath());
    // A folder that lets us write the file but not create a temporary one
    // beside it still gets the file written in place.
    file.setDirectWriteFallback(true);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray bytes = accountFileContent(accountSettings());
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}

QString accountFileWriteFailedText()
{
    return QStringLiteral("設定ファイル「%1」に書き込めませんでした。\r\n"
                          "設定は、このプログラムを終了するまで有効です。")
        .arg(QString::fromLatin1(AccountFileName));
}

} // namespace settings
