#include "receive/MailLayerExtras.h"

#include "maillib/NMail.h"

namespace receive::layer {

qint64 receivedBytes(int handle)
{
    return maillib::NMailPop3ReceivedBytes(handle);
}

void cancelWaits()
{
    maillib::NMailCancel();
}

void letUserInputThrough(bool through)
{
    maillib::NMailSetOption(maillib::NMailOptionUserInput, through ? 1 : 0);
}

bool isMessageRefused(int code)
{
    return code == maillib::NMailErrorMessageRefused;
}

bool isCancelled(int code)
{
    return code == maillib::NMailErrorCancelled;
}

} // namespace receive::layer
