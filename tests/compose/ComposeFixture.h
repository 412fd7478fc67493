#pragma once

#include "support/AddressBookFixture.h"
#include "support/WindowDriving.h"

#include <QFile>
#include <QWidget>

namespace composetest {

using testsupport::closeAllWindows;
using testsupport::Entry;
using testsupport::flushDeletes;
using testsupport::hover;
using testsupport::writeBook;

template <typename T>
T *child(const QWidget *w, const char *name)
{
    T *c = w->findChild<T *>(QString::fromLatin1(name));
    if (!c)
        qFatal("no control %s", name);
    return c;
}

inline void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
        qFatal("cannot write test file");
}

} // namespace composetest
