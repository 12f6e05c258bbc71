#pragma once
// The component's option settings and the one mapping from an option index (what the
// window's option buttons, the automation setters, the state block and the component's
// menu carry) to them. Each list holds every value in index order; a value is its own index, which the
// compiler checks, so adding one means adding it here and nowhere else decides.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace frolix {

enum class StretchMode : std::int16_t { None = 0, Stretch = 1, Proportional = 2 };
enum class Sequence : std::int16_t { Normal = 0, Reverse = 1, PingPong = 2 };
// Playing speed, slowest first: 0.25x, 0.5x, 1x, 2x, 4x (speedFactor in Player.h).
enum class Speed : std::int16_t { Quarter = 0, Half = 1, Normal = 2, Double = 3, Quadruple = 4 };
// How often the sequence plays: as the file's loop count says, forever, or once.
enum class LoopMode : std::int16_t { AsFile = 0, Forever = 1, Once = 2 };

inline constexpr std::array kStretchModes { StretchMode::None, StretchMode::Stretch, StretchMode::Proportional };
inline constexpr std::array kSequences { Sequence::Normal, Sequence::Reverse, Sequence::PingPong };
inline constexpr std::array kSpeeds { Speed::Quarter, Speed::Half, Speed::Normal, Speed::Double, Speed::Quadruple };
inline constexpr std::array kLoopModes { LoopMode::AsFile, LoopMode::Forever, LoopMode::Once };

template <typename Option, std::size_t N> constexpr bool indexedInOrder(const std::array<Option, N>& options)
{
    for (std::size_t i = 0; i < N; ++i)
        if (std::size_t(options[i]) != i)
            return false;
    return true;
}
static_assert(indexedInOrder(kStretchModes) && indexedInOrder(kSequences) && indexedInOrder(kSpeeds)
    && indexedInOrder(kLoopModes));

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
constexpr std::optional<Speed> speedAt(std::int16_t index) { return optionAt(kSpeeds, index); }
constexpr std::optional<LoopMode> loopModeAt(std::int16_t index) { return optionAt(kLoopModes, index); }
template <typename Option> constexpr std::int16_t optionIndex(Option option) { return std::int16_t(option); }

} // namespace frolix
