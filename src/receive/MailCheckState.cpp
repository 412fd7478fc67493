#include "receive/MailCheckState.h"

namespace receive {
namespace {
bool checkRunning = false;
} // namespace

bool mailCheckRunning()
{
    return checkRunning;
}

void setMailCheckRunning(bool running)
{
    checkRunning = running;
}

} // namespace receive
