#pragma once

#include "common/RecordFileSystem.h"

#include <QStringList>

#include <cerrno>

namespace testsupport {

// Thrown by FaultyRecordFileSystem to stop an operation where a crash would:
// nothing after the step runs, and what was written so far stays on disk.
struct SimulatedCrash
{
};

// The record files' system calls with one step, counted from 1, made to fail
// with an error or to crash. A write or copy that is hit does half its work
// first, as a full disk or a power cut would leave it.
class FaultyRecordFileSystem final : public common::RecordFileSystem
{
public:
    enum class Fault { Fail, Crash };

    FaultyRecordFileSystem() { common::setRecordFileSystem(this); }
    ~FaultyRecordFileSystem() override { common::setRecordFileSystem(nullptr); }
    FaultyRecordFileSystem(const FaultyRecordFileSystem &) = delete;
    FaultyRecordFileSystem &operator=(const FaultyRecordFileSystem &) = delete;

    // Arms the fault for step `step` of what runs next (0 disarms) and resets the count.
    void arm(int step, Fault fault, int error = EIO)
    {
        m_faultAt = step;
        m_fault = fault;
        m_error = error;
        m_steps = 0;
        m_hit = false;
        m_faultName.clear();
        log.clear();
    }
    // Arms the fault for the first step called name of what runs next.
    void arm(const QString &name, Fault fault, int error = EIO)
    {
        arm(0, fault, error);
        m_faultName = name;
    }
    [[nodiscard]] int steps() const { return m_steps; }
    [[nodiscard]] bool hit() const { return m_hit; }
    QStringList log; // the steps taken, by name

    int open(const QByteArray &path, int flags, mode_t mode) override
    {
        if (step("open"))
            return injure();
        return RecordFileSystem::open(path, flags, mode);
    }
    int close(int fd) override
    {
        if (step("close")) {
            RecordFileSystem::close(fd); // Linux frees the descriptor even when close reports an error
            return injure();
        }
        return RecordFileSystem::close(fd);
    }
    ssize_t pread(int fd, void *buffer, size_t size, off_t offset) override
    {
        if (step("pread"))
            return injure();
        return RecordFileSystem::pread(fd, buffer, size, offset);
    }
    ssize_t pwrite(int fd, const void *buffer, size_t size, off_t offset) override
    {
        if (step("pwrite")) {
            if (size > 1)
                RecordFileSystem::pwrite(fd, buffer, size / 2, offset);
            return injure();
        }
        return RecordFileSystem::pwrite(fd, buffer, size, offset);
    }
    ssize_t copyRange(int from, off_t fromOffset, int to, off_t toOffset, size_t size) override
    {
        if (step("copy")) {
            if (size > 1)
                RecordFileSystem::copyRange(from, fromOffset, to, toOffset, size / 2);
            return injure();
        }
        return RecordFileSystem::copyRange(from, fromOffset, to, toOffset, size);
    }
    // A simulated crash keeps everything written so far, so the flushes
    // themselves need not reach the disk; skipping them keeps the tests quick.
    int fsync(int) override
    {
        if (step("fsync"))
            return injure();
        return 0;
    }
    int ftruncate(int fd, off_t size) override
    {
        if (step("ftruncate"))
            return injure();
        return RecordFileSystem::ftruncate(fd, size);
    }
    int fstat(int fd, struct stat *info) override
    {
        if (step("fstat"))
            return injure();
        return RecordFileSystem::fstat(fd, info);
    }
    int stat(const QByteArray &path, struct stat *info) override
    {
        if (step("stat"))
            return injure();
        return RecordFileSystem::stat(path, info);
    }
    int rename(const QByteArray &from, const QByteArray &to) override
    {
        if (step("rename"))
            return injure();
        return RecordFileSystem::rename(from, to);
    }
    int unlink(const QByteArray &path) override
    {
        if (step("unlink"))
            return injure();
        return RecordFileSystem::unlink(path);
    }
    int syncFolder(const QByteArray &folder) override
    {
        Q_UNUSED(folder);
        if (step("syncFolder"))
            return injure();
        return 0;
    }

private:
    bool step(const char *name)
    {
        ++m_steps;
        log << QString::fromLatin1(name);
        const bool named = !m_faultName.isEmpty() && !m_hit && m_faultName == QLatin1String(name);
        if (m_steps != m_faultAt && !named)
            return false;
        m_hit = true;
        return true;
    }
    int injure()
    {
        if (m_fault == Fault::Crash) {
            log << QStringLiteral("CRASH");
            throw SimulatedCrash{};
        }
        errno = m_error;
        return -1;
    }

    int m_faultAt = 0;
    QString m_faultName;
    Fault m_fault = Fault::Fail;
    int m_error = EIO;
    int m_steps = 0;
    bool m_hit = false;
};

} // namespace testsupport
