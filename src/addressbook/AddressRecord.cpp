#include "addressbook/AddressRecord.h"

#include "common/Cp932.h"
#include "common/FixedText.h"

namespace addressbook {

AddressRecord CurrentAddressRecord;

QByteArray AddressRecord::toBytes() const
{
    QByteArray bytes;
    bytes.reserve(Length);
    bytes += common::toCp932Field(name, NameWidth);
    bytes += common::toCp932Field(lineEnd, 2);
    bytes += char(quint16(live) & 0xFF);
    bytes += char(quint16(live) >> 8);
    bytes += common::toCp932Field(address, AddressWidth);
    Q_ASSERT(bytes.size() == Length);
    return bytes;
}

AddressRecord AddressRecord::fromBytes(const QByteArray &bytes)
{
    Q_ASSERT(bytes.size() == Length);
    return fromBytes(bytes.constData());
}

AddressRecord AddressRecord::fromBytes(const char *p)
{
    AddressRecord record;
    record.name = common::decodeField(p + NameOffset, NameWidth, NameWidth);
    record.lineEnd = common::decodeField(p + LineEndOffset, 2, 2);
    record.live = qint16(quint16(uchar(p[LiveOffset])) | quint16(quint16(uchar(p[LiveOffset + 1])) << 8));
    record.address = common::decodeField(p + AddressOffset, AddressWidth, AddressWidth);
    return record;
}

} // namespace addressbook
