#pragma once

#include <memory>

namespace maillib {

class Pop3Session;

namespace detail {

// The POP3 sessions the entry points have handed out, by handle. Handles are
// never reused within a process, so a stale handle cannot reach a newer session.
int addPop3Session(std::unique_ptr<Pop3Session> session);
[[nodiscard]] Pop3Session *pop3Session(int handle);
[[nodiscard]] std::unique_ptr<Pop3Session> takePop3Session(int handle);
// Drops every open session without QUIT.
void abortAllPop3Sessions();

} // namespace detail
} // namespace maillib
