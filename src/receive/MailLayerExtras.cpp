#include "receive/MailLayerExtras.h"

#include "maillib/NMail.h"

namespace receive::layer {

// FIXME: the layer's progress, cancel and user-input calls once it offers them.
qint64 receivedBytes(int handle)
{
    Q_UNUSED(handle);
    return -1;
}

void cancelWaits() {}

void letUserInputThrough(bool through)
{
    Q_UNUSED(through);
}

bool isMessageRefused(int code)
{
    return code == -12;
}

bool isCancelled(int code)
{
    return code == -11;
}

} // namespace receive::layer
