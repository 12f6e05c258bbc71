#pragma once
// The component's two option settings, with the values the window sends for them.

#include <cstdint>

namespace frolix {

enum class StretchMode : std::int16_t { None = 0, Stretch = 1, Proportional = 2 };
enum class Sequence : std::int16_t { Normal = 0, Reverse = 1, PingPong = 2 };

} // namespace frolix
