#pragma once

namespace receive {

// True while a mail check runs. Windows that would talk to a mail server
// (the composer, the reply window, the tool bar's "Jyushin") look at it and
// stay away until the check has ended.
[[nodiscard]] bool mailCheckRunning();

// Set by the mail check only, at its start and its end.
void setMailCheckRunning(bool running);

} // namespace receive
