#include "maillib/Pop3Registry.h"

#include "maillib/Pop3Session.h"

#include <map>

namespace maillib::detail {

namespace {

struct Registry
{
    std::map<int, std::unique_ptr<Pop3Session>> sessions;
    int lastHandle = 0;
};

Registry &registry()
{
    static Registry r;
    return r;
}

} // namespace

int addPop3Session(std::unique_ptr<Pop3Session> session)
{
    Registry &r = registry();
    const int handle = ++r.lastHandle;
    r.sessions.emplace(handle, std::move(session));
    return handle;
}

Pop3Session *pop3Session(int handle)
{
    Registry &r = registry();
    const auto it = r.sessions.find(handle);
    return it == r.sessions.end() ? nullptr : it->second.get();
}

std::unique_ptr<Pop3Session> takePop3Session(int handle)
{
    Registry &r = registry();
    const auto it = r.sessions.find(handle);
    if (it == r.sessions.end())
        return nullptr;
    std::unique_ptr<Pop3Session> session = std::move(it->second);
    r.sessions.erase(it);
    return session;
}

void abortAllPop3Sessions()
{
    Registry &r = registry();
    // A call may still be waiting inside one of them (shutdown can arrive
    // through the event loop it turns), so the objects go once it has returned.
    for (auto &[handle, session] : r.sessions) {
        session->abort();
        session.release()->deleteLater();
    }
    r.sessions.clear();
}

} // namespace maillib::detail
