#pragma once
// The component's start-up state block: the design-time settings and the animation
// that a form stores for the component, read when the component is created.
//
// Two layers. readStateBlock() checks the general layout only (header, extents,
// fourteen typed values of any kind, the animation, the trailer); designStateFrom()
// then gives the values their meaning. Keeping them apart lets the first layer be
// fuzzed and round-tripped on its own, and lets a block with a value of the wrong
// kind be reported as exactly that rather than as a broken layout.
//
// The fourteen values, in stored order, with the member each one sets, its stored kind
// and its value in a new DesignState: the table members() in StateBlock.cpp, which both
// designStateFrom() and stateBlockFrom() walk.

#include "DisplayOptions.h"
#include "Result.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace frolix {

// Automation type codes as stored before each value.
enum class TypeCode : std::uint16_t {
    I2 = 2,
    I4 = 3,
    Bstr = 8,
    Dispatch = 9,
    Bool = 11,
    Ui4 = 19,
};

inline constexpr std::uint32_t kStateBlockVersion = 0x00000200;
inline constexpr std::uint16_t kStateBlockEndMarker = 0xFFFF;
inline constexpr std::size_t kStateValueCount = 14;
// The version, the extent width and the extent height come before the values.
inline constexpr std::size_t kStateBlockHeaderBytes = 12;
// MousePointer's numbers the component knows; any other shows the arrow.
inline constexpr std::int32_t kMousePointerArrowQuestion = 14;
inline constexpr std::int32_t kMousePointerCustomIcon = 99; // MouseIcon, or the arrow without one
// The magic that opens a standard picture's own data ("lt\0\0").
inline constexpr std::uint32_t kStandardPictureMagic = 0x0000746C;
// {0BE35204-8F91-11CE-9DE3-00AA004BB851} in its stored byte order.
inline constexpr std::array<std::uint8_t, 16> kStandardPictureClassId = {
    0x04,
    0x52,
    0xE3,
    0x0B,
    0x91,
    0x8F,
    0xCE,
    0x11,
    0x9D,
    0xE3,
    0x00,
    0xAA,
    0x00,
    0x4B,
    0xB8,
    0x51,
};

// A DISPATCH value: no object (an all-zero class id), or a standard picture whose
// picture file is `bytes` (empty: an empty picture).
struct NoObject {
    bool operator==(const NoObject&) const = default;
};
struct StandardPicture {
    std::vector<std::uint8_t> bytes;
    bool operator==(const StandardPicture&) const = default;
};
using DispatchObject = std::variant<NoObject, StandardPicture>;

struct ValueI2 {
    std::int16_t value = 0;
    bool operator==(const ValueI2&) const = default;
};
struct ValueI4 {
    std::int32_t value = 0;
    bool operator==(const ValueI4&) const = default;
};
struct ValueBstr {
    std::u16string text; // without the stored terminating zero
    bool operator==(const ValueBstr&) const = default;
};
struct ValueDispatch {
    DispatchObject object;
    bool operator==(const ValueDispatch&) const = default;
};
struct ValueBool {
    bool value = false;
    bool operator==(const ValueBool&) const = default;
};
struct ValueUi4 {
    std::uint32_t value = 0;
    bool operator==(const ValueUi4&) const = default;
};
using TypedValue = std::variant<ValueI2, ValueI4, ValueBstr, ValueDispatch, ValueBool, ValueUi4>;

TypeCode typeCodeOf(const TypedValue& value);
// Stored size of a value including its type code; gives each value's offset.
std::size_t storedSize(const TypedValue& value);

struct StateBlock {
    std::uint32_t extentWidthHimetric = 0;
    std::uint32_t extentHeightHimetric = 0;
    std::array<TypedValue, kStateValueCount> values;
    std::vector<std::uint8_t> animation; // the GIF file, one byte per stored 16-bit unit
    bool operator==(const StateBlock&) const = default;

    // Byte offset of value `index` (from 0) in the stored block.
    std::size_t valueOffset(std::size_t index) const;
};

// The members' meaning. A new one holds each member's initial value from members().
struct DesignState {
    DesignState();

    std::uint32_t extentWidthHimetric = 0;
    std::uint32_t extentHeightHimetric = 0;
    std::uint32_t backColor; // 0x00BBGGRR
    bool transparent;
    bool autoPlay; // plays from creation without a Play call
    std::int16_t startFrame; // frame shown at creation, counted from 1
    StretchMode stretchMode;
    bool autoSize;
    std::u16string fileName; // GIF file loaded at creation instead of the stored animation
    Sequence sequence;
    std::u16string toolTipText;
    std::u16string statusText;
    std::u16string tag;
    DispatchObject picture; // drawn behind the animation
    std::int32_t mousePointer; // a cursor shape number
    DispatchObject mouseIcon;
    std::vector<std::uint8_t> animation;
    bool operator==(const DesignState&) const = default;
};

Result<StateBlock> readStateBlock(std::span<const std::uint8_t> data);
std::vector<std::uint8_t> writeStateBlock(const StateBlock& block);

Result<DesignState> designStateFrom(const StateBlock& block);
StateBlock stateBlockFrom(const DesignState& state);

} // namespace frolix
