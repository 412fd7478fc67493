#include "common/Prompts.h"

#include <cstdlib>
#include <cstdio>

namespace common {
namespace {
UserPrompts *g_prompts = nullptr;
}

UserPrompts &prompts()
{
    if (!g_prompts) {
        std::fputs("GlimraMail: no user prompts installed\n", stderr);
        std::abort();
    }
    return *g_prompts;
}

bool hasPrompts()
{
    return g_prompts != nullptr;
}

void setPrompts(UserPrompts *prompts)
{
    g_prompts = prompts;
}

} // namespace common
