#pragma once

namespace viewer {

class TyakuForm;

// Connects the viewer's mail commands (reply, sender registration, header
// copy and quick save) to its buttons and boxes. Called once by the viewer's
// constructor.
void installMailCommands(TyakuForm &form);

} // namespace viewer
