#include "viewer/ui/MailCommands.h"

namespace viewer {

// The reply, registration, header copy and quick save commands are not wired
// yet: their buttons show their help texts and do nothing when pressed.
void installMailCommands(TyakuForm &form)
{
    (void)form;
}

} // namespace viewer
