#pragma once

#include <optional>

namespace app {

// The mailbox commands, run without a window:
//   glimramail --export-mbox FILE [--first N] [--last M]
//   glimramail --import PATH [--first N] [--last M]
// They act on the program folder the program would use, refuse while the
// program runs on the same data folder, and print a short summary. Returns
// the exit code when the arguments ask for one of them (0 done, 1 failed,
// 2 wrong arguments, 3 the store filled up before the import was done), and
// nothing otherwise, when the program starts as usual.
[[nodiscard]] std::optional<int> runMailboxCommand(int argc, char *argv[]);

} // namespace app
