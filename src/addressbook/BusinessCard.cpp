#include "addressbook/BusinessCard.h"

#include "common/TextHelpers.h"

namespace addressbook {

QString businessCardAddress(const QString &card, const QString &address)
{
    return card + QLatin1Char('<') + common::trimBlanks(address) + QLatin1Char('>');
}

} // namespace addressbook
