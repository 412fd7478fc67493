#include "habitat/PassCadence.h"

#include "common/Clock.h"

namespace habitat {

void PassCadence::passStarted()
{
    m_started = common::clock().milliseconds();
    m_any = true;
}

std::uint32_t PassCadence::remaining() const
{
    if (!m_any)
        return 0;
    const std::uint32_t spent = elapsed(m_started, common::clock().milliseconds());
    return spent > WaitPerPass ? 0 : WaitPerPass + 1 - spent;
}

} // namespace habitat
