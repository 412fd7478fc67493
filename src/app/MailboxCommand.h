#pragma once


namespace app {

// The mailbox commands, run without a window:
//   glimramail --export-mbox FILE [--first N] [--last M]
//   glimramail --import PATH [--first N] [--last M]
// True when the arguments ask for one of them; the program then starts no window.
[[nodiscard]] bool asksForMailboxCommand(int argc, char *argv[]);

// Runs the command the application's arguments ask for, on the program folder
// already set (common::ProgramFolder), refusing while the program runs on the
// same data folder, and prints a short summary. Relative paths name files in
// the current folder. Returns the exit code: 0 done, 1 failed, 2 wrong
// arguments, 3 the store filled up before the import was done.
[[nodiscard]] int runMailboxCommand();

} // namespace app
