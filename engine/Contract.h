#pragma once
// Preconditions a caller's bug breaks, checked in every build: a frame number off by one
// answered with a plausible picture hides the bug, a stop that names the broken
// condition shows it (tests catch it as a death).

#include <cstdio>
#include <cstdlib>

namespace frolix {

[[noreturn]] inline void contractBroken(const char* condition, const char* file, int line)
{
    std::fprintf(stderr, "%s:%d: contract broken: %s\n", file, line, condition);
    std::abort();
}

} // namespace frolix

#define FROLIX_EXPECTS(condition) ((condition) ? void(0) : ::frolix::contractBroken(#condition, __FILE__, __LINE__))
