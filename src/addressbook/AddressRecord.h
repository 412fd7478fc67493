#pragma once

#include <QByteArray>
#include <QString>

namespace addressbook {

// One address book entry as the store holds it: a fixed-length record of 184
// bytes. The line end and the live flag sit between the two texts. In memory
// name and address are texts of exactly 90 characters, blank-padded.
struct AddressRecord
{
    static constexpr qsizetype NameOffset = 0;
    static constexpr qsizetype NameWidth = 90;
    static constexpr qsizetype LineEndOffset = 90;
    static constexpr qsizetype LiveOffset = 92;
    static constexpr qsizetype AddressOffset = 94;
    static constexpr qsizetype AddressWidth = 90;
    static constexpr qsizetype Length = 184;

    QString name = QString(NameWidth, QLatin1Char(' '));
    QString lineEnd = QStringLiteral("  ");
    qint16 live = 0;
    QString address = QString(AddressWidth, QLatin1Char(' '));

    // The record's bytes in the file, texts in CP932 fitted to 90 bytes.
    [[nodiscard]] QByteArray toBytes() const;
    // The record held in bytes, which must be Length long.
    [[nodiscard]] static AddressRecord fromBytes(const QByteArray &bytes);
    [[nodiscard]] static AddressRecord fromBytes(const char *bytes);
};

// The process's one shared address record: every read of the address book
// fills it and every write writes it.
extern AddressRecord CurrentAddressRecord;

} // namespace addressbook
