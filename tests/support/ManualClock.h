#pragma once

#include "common/Clock.h"

namespace testsupport {

// A clock that stands still until the test moves it. Installs itself as the
// process's clock for its lifetime.
class ManualClock final : public common::Clock
{
public:
    explicit ManualClock(std::uint32_t start = 0) : m_ms(start) { common::setClock(this); }
    ~ManualClock() override { common::setClock(nullptr); }

    std::uint32_t milliseconds() override { return m_ms; }
    QDateTime now() override { return m_now.addMSecs(m_ms); }

    void set(std::uint32_t ms) { m_ms = ms; }
    void advance(std::uint32_t ms) { m_ms += ms; }

private:
    std::uint32_t m_ms;
    QDateTime m_now = QDateTime(QDate(2026, 1, 1), QTime(0, 0));
};

} // namespace testsupport
