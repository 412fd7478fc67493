#include "common/RecordFile.h"

#include "common/RecordFile_p.h"

#include <fcntl.h>

// RecordFile after an interrupted compaction.

namespace common {

using namespace recordio;

StoreStatus RecordFile::recover()
{
    m_leftover = Leftover::None;
    m_setAside.clear();
    const QString temp = tempFile();
    struct stat info;
    if (fs().stat(encoded(temp), &info) != 0)
        return errno == ENOENT ? StoreStatus() : StoreStatus::failure(StoreError::CannotOpen, temp, errno);
    return resolveLeftover(storeFile(), temp);
}

namespace {

enum class Verdict { StoreKept, TempTaken, SetAside };

// Moves index to the next whole live record of fd and reads it into record;
// false when there is none left.
bool nextLive(int fd, qint64 whole, qint64 length, qint64 liveOffset, qint64 *index, QByteArray *record,
              bool *failed)
{
    for (; *index < whole; ++*index) {
        if (readFully(fd, record->data(), length, *index * length) != length) {
            *failed = true;
            return false;
        }
        if (liveFlag(record->constData() + liveOffset) != 0)
            return true;
    }
    return false;
}

// Which of store and temp holds every record (see resolveLeftover).
StoreStatus judgeLeftover(const QString &store, const QString &temp, const RecordLayout &layout, Verdict *verdict)
{
    const qint64 length = layout.length;
    struct stat info;
    if (fs().stat(encoded(store), &info) != 0) {
        if (errno != ENOENT)
            return StoreStatus::failure(StoreError::CannotOpen, store, errno);
        *verdict = Verdict::TempTaken;
        return {};
    }
    Fd s(fs().open(encoded(store), O_RDONLY, 0));
    if (!s.valid())
        return StoreStatus::failure(StoreError::CannotOpen, store, errno);
    Fd t(fs().open(encoded(temp), O_RDONLY, 0));
    if (!t.valid())
        return StoreStatus::failure(StoreError::CannotOpen, temp, errno);
    struct stat tInfo;
    if (fs().fstat(s.get(), &info) != 0 || fs().fstat(t.get(), &tInfo) != 0)
        return StoreStatus::failure(StoreError::CannotRead, store, errno);
    const qint64 wholeS = qint64(info.st_size) / length;
    const qint64 wholeT = qint64(tInfo.st_size) / length;
    QByteArray a(length, Qt::Uninitialized);
    QByteArray b(length, Qt::Uninitialized);
    qint64 i = 0;
    qint64 j = 0;
    bool failed = false;
    for (;;) {
        const bool moreS = nextLive(s.get(), wholeS, length, layout.liveOffset, &i, &a, &failed);
        const bool moreT = nextLive(t.get(), wholeT, length, layout.liveOffset, &j, &b, &failed);
        if (failed)
            return StoreStatus::failure(StoreError::CannotRead, store, errno);
        if (!moreT) {
            *verdict = Verdict::StoreKept;
            break;
        }
        if (!moreS) {
            *verdict = Verdict::TempTaken;
            break;
        }
        if (a != b) {
            *verdict = Verdict::SetAside;
            break;
        }
        ++i;
        ++j;
    }
    s.close();
    t.close();
    return {};
}

// The first of temp.1, temp.2 ... that does not exist yet.
StoreStatus freeAsideName(const QString &temp, QString *aside)
{
    struct stat info;
    for (int k = 1;; ++k) {
        *aside = temp + QLatin1Char('.') + QString::number(k);
        if (fs().stat(encoded(*aside), &info) != 0) {
            if (errno == ENOENT)
                return {};
            return StoreStatus::failure(StoreError::CannotOpen, *aside, errno);
        }
    }
}

} // namespace

// The temporary file can be left by this program, which writes only the live
// records into it and never touches the store before the rename: then its
// live records are a beginning of the store's. Or it can be left by a program
// that copied the whole store into it, removed the store and was writing the
// live records back: then the store's live records are a beginning of the
// temporary file's. The longer of the two holds every record.
StoreStatus RecordFile::resolveLeftover(const QString &store, const QString &temp)
{
    Verdict verdict = Verdict::StoreKept;
    if (StoreStatus status = judgeLeftover(store, temp, m_layout, &verdict); !status)
        return status;

    switch (verdict) {
    case Verdict::StoreKept: {
        m_leftover = Leftover::StoreKept;
        // Finishing the compaction reuses the temporary file and renames it away.
        if (StoreStatus status = compactNow(nullptr); !status)
            return status;
        struct stat info;
        if (fs().stat(encoded(temp), &info) == 0 && fs().unlink(encoded(temp)) != 0)
            return StoreStatus::failure(StoreError::CannotWrite, temp, errno);
        fs().syncFolder(folderOf(store));
        return {};
    }
    case Verdict::TempTaken:
        m_leftover = Leftover::TempTaken;
        if (fs().rename(encoded(temp), encoded(store)) != 0)
            return StoreStatus::failure(StoreError::CannotReplace, store, errno);
        fs().syncFolder(folderOf(store));
        return compactNow(nullptr);
    case Verdict::SetAside: {
        m_leftover = Leftover::SetAside;
        QString aside;
        if (StoreStatus status = freeAsideName(temp, &aside); !status)
            return status;
        if (fs().rename(encoded(temp), encoded(aside)) != 0)
            return StoreStatus::failure(StoreError::CannotReplace, temp, errno);
        fs().syncFolder(folderOf(store));
        m_setAside = aside;
        return compactNow(nullptr);
    }
    }
    return {};
}

} // namespace common
