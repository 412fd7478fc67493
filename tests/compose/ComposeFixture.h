#pragma once

#include "addressbook/AddressStore.h"
#include "support/TempProgramFolder.h"

#include <QApplication>
#include <QPointer>
#include <QEvent>
#include <QFile>
#include <QMouseEvent>
#include <QPair>
#include <QWidget>

namespace composetest {

template <typename T>
T *child(const QWidget *w, const char *name)
{
    T *c = w->findChild<T *>(QString::fromLatin1(name));
    if (!c)
        qFatal("no control %s", name);
    return c;
}

// Lets deleteLater() of closed windows happen.
inline void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// Deletes every window a test left open (children of a window go with it).
inline void closeAllWindows()
{
    QList<QPointer<QWidget>> windows;
    for (QWidget *w : QApplication::topLevelWidgets())
        if (!w->parentWidget())
            windows.append(w);
    for (const QPointer<QWidget> &w : windows)
        delete w.data();
    flushDeletes();
}

// The pointer moving over w.
inline void hover(QWidget *w, QPointF at = QPointF(2, 2))
{
    QMouseEvent move(QEvent::MouseMove, at, w->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(w, &move);
}

using Entry = QPair<QString, QString>; // name, address

// Writes the address book through the store, entry 1 first.
inline void writeBook(const QList<Entry> &entries)
{
    addressbook::AddressStore store;
    if (!store.createIfMissing())
        qFatal("cannot create the address book");
    for (int i = 0; i < entries.size(); ++i)
        if (!store.PutAddressRecord(i + 1, entries.at(i).first, entries.at(i).second))
            qFatal("cannot write the address book");
}

// The bytes the book should hold for these entries (all live).
inline QByteArray bookBytes(const QList<Entry> &entries)
{
    QByteArray out;
    for (const Entry &e : entries) {
        addressbook::AddressRecord r;
        r.name = e.first.leftJustified(addressbook::AddressRecord::NameWidth, QLatin1Char(' '), true);
        r.address = e.second.leftJustified(addressbook::AddressRecord::AddressWidth, QLatin1Char(' '), true);
        r.lineEnd = QStringLiteral("\r\n");
        r.live = 1;
        out += r.toBytes();
    }
    return out;
}

inline QByteArray bookFile(const testsupport::TempProgramFolder &folder)
{
    return folder.readDataFile(QString::fromLatin1(addressbook::AddressStore::StoreFileName));
}

inline void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write test file");
}

} // namespace composetest
