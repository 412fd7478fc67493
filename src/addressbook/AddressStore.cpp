#include "addressbook/AddressStore.h"

#include "common/FixedText.h"

namespace addressbook {

AddressStore::AddressStore()
    : m_file({QString::fromLatin1(StoreFileName), QString::fromLatin1(TempFileName), AddressRecord::Length,
              AddressRecord::LiveOffset})
{
}

common::StoreStatus AddressStore::done(const common::StoreStatus &status)
{
    m_status = status;
    return status;
}

common::StoreStatus AddressStore::createIfMissing()
{
    return done(m_file.create());
}

int AddressStore::CountAddressRecords()
{
    return m_file.count(&m_status);
}

common::StoreStatus AddressStore::PutAddressRecord(int n, const QString &name, const QString &address,
                                                   common::Flush flush)
{
    AddressRecord &record = CurrentAddressRecord;
    record.name = common::fitChars(name, AddressRecord::NameWidth);
    record.address = common::fitChars(address, AddressRecord::AddressWidth);
    record.lineEnd = QStringLiteral("\r\n");
    record.live = 1;
    return done(m_file.write(n, record.toBytes(), flush));
}

common::StoreStatus AddressStore::appendAddressRecord(const QString &name, const QString &address,
                                                      common::Flush flush)
{
    const int count = CountAddressRecords();
    if (!m_status)
        return m_status;
    return PutAddressRecord(count + 1, name, address, flush);
}

common::RecordRead AddressStore::GetAddressRecord(int n)
{
    QByteArray bytes;
    const common::RecordRead result = m_file.read(n, &bytes, &m_status);
    if (result == common::RecordRead::Read)
        CurrentAddressRecord = AddressRecord::fromBytes(bytes);
    return result;
}

QList<AddressRecord> AddressStore::readAllAddressRecords()
{
    QList<AddressRecord> list;
    m_status = m_file.readHeads(
        AddressRecord::Length, [&list](const char *bytes) { list.append(AddressRecord::fromBytes(bytes)); },
        nullptr);
    if (!list.isEmpty())
        CurrentAddressRecord = list.last();
    return list;
}

common::StoreStatus AddressStore::DeleteAddressRecord(int n)
{
    CurrentAddressRecord.live = 0;
    if (common::StoreStatus status = m_file.recover(); !status)
        return done(status);
    return done(m_file.setLive(n, 0));
}

common::StoreStatus AddressStore::CompactStore()
{
    QByteArray last;
    const common::StoreStatus status = m_file.compact(&last);
    if (!last.isEmpty())
        CurrentAddressRecord = AddressRecord::fromBytes(last);
    return done(status);
}

} // namespace addressbook
