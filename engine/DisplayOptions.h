#pragma once
// The component's two option settings and the one mapping from an option index (what
// the window's option buttons, the automation setters and the state block carry) to
// them. Each list holds every value in index order; a value is its own index, which the
// compiler checks, so adding one means adding it here and nowhere else decides.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace frolix {

enum class StretchMode : std::int16_t { None = 0, Stretch = 1, Proportional = 2 };
enum class Sequence : std::int16_t { Normal = 0, Reverse = 1, PingPong = 2 };

inline constexpr std::array kStretchModes { StretchMode::None, StretchMode::Stretch, StretchMode::Proportional };
inline constexpr std::array kSequences { Sequence::Normal, Sequence::Reverse, Sequence::PingPong };

template <typename Option, std::size_t N> constexpr bool indexedInOrder(const std::array<Option, N>& options)
{
    for (std::size_t i = 0; i < N; ++i)
        if (std::size_t(options[i]) != i)
            return false;
    return true;
}
static_assert(indexedInOrder(kStretchModes) && indexedInOrder(kSequences));

// The option with index `index` in `options`, or nullopt when there is none.
template <typename Option, std::size_t N>
constexpr std::optional<Option> optionAt(const std::array<Option, N>& options, std::int16_t index)
{
    if (index < 0 || std::size_t(index) >= N)
        return std::nullopt;
    return options[std::size_t(index)];
}

constexpr std::optional<StretchMode> stretchModeAt(std::int16_t index) { return optionAt(kStretchModes, index); }
constexpr std::optional<Sequence> sequenceAt(std::int16_t index) { return optionAt(kSequences, index); }
template <typename Option> constexpr std::int16_t optionIndex(Option option) { return std::int16_t(option); }

} // namespace frolix
