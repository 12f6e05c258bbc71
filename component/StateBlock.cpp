#include "StateBlock.h"

#include "ByteReader.h"
#include "ByteWriter.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string_view>

namespace frolix {

// Stored layout, little-endian (offsets for the block we ship, whose values take 112 bytes):
//
//   offset    size   field
//   0         4      u32 version, 0x00000200
//   4         4      u32 extent width, hundredths of a millimetre
//   8         4      u32 extent height
//   12        ...    fourteen typed values, each a u16 type code and then:
//                      2  I2        i16
//                      3  I4        i32
//                      8  BSTR      u32 byte count (even, >= 2), UTF-16LE text that
//                                   includes its terminating zero character
//                      9  DISPATCH  16-byte class id, then the object's own data:
//                                   all-zero id: no object, nothing follows;
//                                   standard picture: u32 0x0000746C, u32 byte count,
//                                   the picture file (count 0: empty picture)
//                      11 BOOL      u16, 0xFFFF True, 0 False
//                      19 UI4       u32
//   124       4      u32 N, the animation's byte count in the block (even)
//   128       N      the GIF file, each byte stored as a 16-bit unit with a zero high byte
//   128+N     4      u32 extent width again
//   132+N     4      u32 extent height again
//   136+N     4      u32 0
//   140+N     2      u16 end marker 0xFFFF; the block ends here

namespace {

constexpr std::size_t kTrailerBytes = 14;

std::string hex(std::uint32_t value, int digits)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, unsigned(value));
    return text;
}

std::string classIdText(std::span<const std::uint8_t> id)
{
    char text[40];
    std::snprintf(text, sizeof text, "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-%02X%02X%02X%02X%02X%02X}", id[3],
        id[2], id[1], id[0], id[5], id[4], id[7], id[6], id[8], id[9], id[10], id[11], id[12], id[13], id[14], id[15]);
    return text;
}

const char* typeName(std::uint16_t code)
{
    switch (TypeCode(code)) {
    case TypeCode::I2:
        return "I2";
    case TypeCode::I4:
        return "I4";
    case TypeCode::Bstr:
        return "BSTR";
    case TypeCode::Dispatch:
        return "DISPATCH";
    case TypeCode::Bool:
        return "BOOL";
    case TypeCode::Ui4:
        return "UI4";
    }
    return "unknown";
}

Error malformedAt(std::size_t offset, const std::string& text)
{
    return makeError(Error::Kind::Malformed, "state block offset " + std::to_string(offset) + ": " + text);
}

// Reads fields and words every failure the same way: where the data ran out and by how
// much, relative to the end of the field that was being read.
class Cursor {
public:
    explicit Cursor(std::span<const std::uint8_t> data)
        : m_reader(data)
        , m_size(data.size())
    {
    }

    std::size_t offset() const { return m_reader.offset(); }
    std::size_t remaining() const { return m_reader.remaining(); }

    Error shortOf(std::size_t fieldEnd, std::string_view what) const
    {
        std::size_t missing = fieldEnd - m_size;
        return makeError(Error::Kind::Truncated,
            "state block ends at offset " + std::to_string(m_size) + ", " + std::to_string(missing)
                + (missing == 1 ? " byte" : " bytes") + " short of " + std::string(what));
    }

    Result<std::uint16_t> u16(std::string_view what)
    {
        if (auto value = m_reader.readU16())
            return *value;
        return shortOf(offset() + 2, what);
    }

    Result<std::uint32_t> u32(std::string_view what)
    {
        if (auto value = m_reader.readU32())
            return *value;
        return shortOf(offset() + 4, what);
    }

    Result<std::span<const std::uint8_t>> bytes(std::size_t count, std::string_view what)
    {
        if (auto value = m_reader.readBytes(count))
            return *value;
        return shortOf(offset() + count, what);
    }

    // A stored count is checked against what is left before anything is allocated for it.
    std::optional<Error> checkCount(std::size_t countOffset, std::uint32_t count, std::string_view what) const
    {
        if (count <= remaining())
            return std::nullopt;
        return makeError(Error::Kind::Truncated,
            "state block offset " + std::to_string(countOffset) + ": " + std::string(what) + " " + std::to_string(count)
                + " is larger than the " + std::to_string(remaining()) + " bytes that remain");
    }

private:
    ByteReader m_reader;
    std::size_t m_size;
};

Result<ValueBstr> readBstr(Cursor& cursor)
{
    std::size_t countOffset = cursor.offset();
    FROLIX_TRY(std::uint32_t count, cursor.u32("a text byte count"));
    if (count < 2 || count % 2 != 0)
        return malformedAt(countOffset,
            "text byte count " + std::to_string(count) + " is not an even number of at least 2 (the terminating zero)");
    if (auto error = cursor.checkCount(countOffset, count, "text byte count"))
        return *error;
    FROLIX_TRY(auto bytes, cursor.bytes(count, "a text"));
    ValueBstr value;
    value.text.reserve(count / 2 - 1);
    for (std::size_t i = 0; i + 2 < count; i += 2)
        value.text.push_back(char16_t(bytes[i] | (bytes[i + 1] << 8)));
    std::uint16_t last = std::uint16_t(bytes[count - 2] | (bytes[count - 1] << 8));
    if (last != 0)
        return malformedAt(
            countOffset + 4 + count - 2, "text ends with " + hex(last, 4) + " instead of a zero character");
    return value;
}

Result<ValueDispatch> readDispatch(Cursor& cursor)
{
    std::size_t idOffset = cursor.offset();
    FROLIX_TRY(auto id, cursor.bytes(16, "a class id"));
    if (std::all_of(id.begin(), id.end(), [](std::uint8_t byte) { return byte == 0; }))
        return ValueDispatch { NoObject {} };
    if (!std::equal(id.begin(), id.end(), kStandardPictureClassId.begin()))
        return malformedAt(idOffset, "unknown class id " + classIdText(id) + ", whose data length cannot be known");

    std::size_t magicOffset = cursor.offset();
    FROLIX_TRY(std::uint32_t magic, cursor.u32("the picture's magic"));
    if (magic != kStandardPictureMagic)
        return malformedAt(
            magicOffset, "expected the picture magic " + hex(kStandardPictureMagic, 8) + ", found " + hex(magic, 8));
    std::size_t countOffset = cursor.offset();
    FROLIX_TRY(std::uint32_t count, cursor.u32("a picture byte count"));
    if (auto error = cursor.checkCount(countOffset, count, "picture byte count"))
        return *error;
    FROLIX_TRY(auto bytes, cursor.bytes(count, "the picture"));
    return ValueDispatch { StandardPicture { std::vector<std::uint8_t>(bytes.begin(), bytes.end()) } };
}

Result<TypedValue> readValue(Cursor& cursor)
{
    std::size_t codeOffset = cursor.offset();
    FROLIX_TRY(std::uint16_t code, cursor.u16("a type code"));
    switch (TypeCode(code)) {
    case TypeCode::I2: {
        FROLIX_TRY(std::uint16_t value, cursor.u16("an I2 value"));
        return TypedValue { ValueI2 { std::int16_t(value) } };
    }
    case TypeCode::I4: {
        FROLIX_TRY(std::uint32_t value, cursor.u32("an I4 value"));
        return TypedValue { ValueI4 { std::int32_t(value) } };
    }
    case TypeCode::Bstr: {
        FROLIX_TRY(ValueBstr value, readBstr(cursor));
        return TypedValue { std::move(value) };
    }
    case TypeCode::Dispatch: {
        FROLIX_TRY(ValueDispatch value, readDispatch(cursor));
        return TypedValue { std::move(value) };
    }
    case TypeCode::Bool: {
        std::size_t valueOffset = cursor.offset();
        FROLIX_TRY(std::uint16_t value, cursor.u16("a BOOL value"));
        if (value != 0 && value != 0xFFFF)
            return malformedAt(valueOffset, "BOOL " + hex(value, 4) + " is neither 0 (False) nor 0xFFFF (True)");
        return TypedValue { ValueBool { value == 0xFFFF } };
    }
    case TypeCode::Ui4: {
        FROLIX_TRY(std::uint32_t value, cursor.u32("a UI4 value"));
        return TypedValue { ValueUi4 { value } };
    }
    }
    return malformedAt(codeOffset, "unknown type code " + std::to_string(code));
}

void putValue(std::vector<std::uint8_t>& out, const TypedValue& value)
{
    putU16(out, std::uint16_t(typeCodeOf(value)));
    std::visit(
        [&out](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, ValueI2>) {
                putU16(out, std::uint16_t(v.value));
            } else if constexpr (std::is_same_v<T, ValueI4>) {
                putU32(out, std::uint32_t(v.value));
            } else if constexpr (std::is_same_v<T, ValueBstr>) {
                putU32(out, std::uint32_t((v.text.size() + 1) * 2));
                for (char16_t unit : v.text)
                    putU16(out, std::uint16_t(unit));
                putU16(out, 0);
            } else if constexpr (std::is_same_v<T, ValueDispatch>) {
                if (std::holds_alternative<NoObject>(v.object)) {
                    out.insert(out.end(), 16, 0);
                } else {
                    const auto& picture = std::get<StandardPicture>(v.object);
                    out.insert(out.end(), kStandardPictureClassId.begin(), kStandardPictureClassId.end());
                    putU32(out, kStandardPictureMagic);
                    putU32(out, std::uint32_t(picture.bytes.size()));
                    out.insert(out.end(), picture.bytes.begin(), picture.bytes.end());
                }
            } else if constexpr (std::is_same_v<T, ValueBool>) {
                putU16(out, v.value ? 0xFFFF : 0);
            } else {
                putU32(out, v.value);
            }
        },
        value);
}

} // namespace

TypeCode typeCodeOf(const TypedValue& value)
{
    static constexpr TypeCode codes[]
        = { TypeCode::I2, TypeCode::I4, TypeCode::Bstr, TypeCode::Dispatch, TypeCode::Bool, TypeCode::Ui4 };
    return codes[value.index()];
}

std::size_t storedSize(const TypedValue& value)
{
    std::vector<std::uint8_t> out;
    putValue(out, value);
    return out.size();
}

std::size_t StateBlock::valueOffset(std::size_t index) const
{
    std::size_t offset = 12;
    for (std::size_t i = 0; i < index && i < values.size(); ++i)
        offset += storedSize(values[i]);
    return offset;
}

Result<StateBlock> readStateBlock(std::span<const std::uint8_t> data)
{
    Cursor cursor(data);
    StateBlock block;

    FROLIX_TRY(std::uint32_t version, cursor.u32("the version"));
    if (version != kStateBlockVersion)
        return malformedAt(0, "expected version " + hex(kStateBlockVersion, 8) + ", found " + hex(version, 8));
    FROLIX_TRY(block.extentWidthHimetric, cursor.u32("the extent width"));
    FROLIX_TRY(block.extentHeightHimetric, cursor.u32("the extent height"));

    for (auto& value : block.values) {
        FROLIX_TRY(TypedValue read, readValue(cursor));
        value = std::move(read);
    }

    std::size_t countOffset = cursor.offset();
    FROLIX_TRY(std::uint32_t count, cursor.u32("the animation byte count"));
    if (count % 2 != 0)
        return malformedAt(countOffset, "animation byte count " + std::to_string(count) + " is odd");
    if (auto error = cursor.checkCount(countOffset, count, "animation byte count"))
        return *error;
    std::size_t unitsOffset = cursor.offset();
    FROLIX_TRY(auto units, cursor.bytes(count, "the animation"));
    block.animation.resize(count / 2);
    for (std::size_t i = 0; i < block.animation.size(); ++i) {
        if (units[2 * i + 1] != 0)
            return malformedAt(unitsOffset + 2 * i,
                "unit " + hex(std::uint32_t(units[2 * i] | (units[2 * i + 1] << 8)), 4) + " has a non-zero high byte");
        block.animation[i] = units[2 * i];
    }

    std::size_t trailerOffset = cursor.offset();
    if (cursor.remaining() < kTrailerBytes)
        return cursor.shortOf(trailerOffset + kTrailerBytes, "the trailer");
    FROLIX_TRY(std::uint32_t width, cursor.u32("the trailer"));
    if (width != block.extentWidthHimetric)
        return malformedAt(trailerOffset,
            "expected the extent width " + std::to_string(block.extentWidthHimetric) + " again, found "
                + std::to_string(width));
    FROLIX_TRY(std::uint32_t height, cursor.u32("the trailer"));
    if (height != block.extentHeightHimetric)
        return malformedAt(trailerOffset + 4,
            "expected the extent height " + std::to_string(block.extentHeightHimetric) + " again, found "
                + std::to_string(height));
    FROLIX_TRY(std::uint32_t zero, cursor.u32("the trailer"));
    if (zero != 0)
        return malformedAt(trailerOffset + 8, "expected 0 before the end marker, found " + std::to_string(zero));
    FROLIX_TRY(std::uint16_t marker, cursor.u16("the trailer"));
    if (marker != kStateBlockEndMarker)
        return malformedAt(trailerOffset + 12, "expected the end marker 0xFFFF, found " + hex(marker, 4));
    if (cursor.remaining() != 0)
        return malformedAt(cursor.offset(),
            std::to_string(cursor.remaining()) + (cursor.remaining() == 1 ? " byte follows" : " bytes follow")
                + " the end marker");
    return block;
}

std::vector<std::uint8_t> writeStateBlock(const StateBlock& block)
{
    std::vector<std::uint8_t> out;
    out.reserve(142 + 2 * block.animation.size() + 256);
    putU32(out, kStateBlockVersion);
    putU32(out, block.extentWidthHimetric);
    putU32(out, block.extentHeightHimetric);
    for (const auto& value : block.values)
        putValue(out, value);
    putU32(out, std::uint32_t(2 * block.animation.size()));
    for (std::uint8_t byte : block.animation)
        putU16(out, byte);
    putU32(out, block.extentWidthHimetric);
    putU32(out, block.extentHeightHimetric);
    putU32(out, 0);
    putU16(out, kStateBlockEndMarker);
    return out;
}

namespace {

constexpr const char* kMemberNames[kStateValueCount] = {
    "BackColor",
    "Transparent",
    "AutoPlay",
    "StartFrame",
    "StretchMode",
    "AutoSize",
    "FileName",
    "Sequence",
    "ToolTipText",
    "StatusText",
    "Tag",
    "Picture",
    "MousePointer",
    "MouseIcon",
};

// What a typed value holds: its number, text or object.
template <typename T> auto contentOf(const T& typed)
{
    if constexpr (requires { typed.text; })
        return typed.text;
    else if constexpr (requires { typed.object; })
        return typed.object;
    else
        return typed.value;
}

// What the value a member reads holds, checking its kind so the error text agrees.
template <typename T> auto member(const StateBlock& block, std::size_t index) -> Result<decltype(contentOf(T {}))>
{
    const TypedValue& value = block.values[index];
    if (const T* typed = std::get_if<T>(&value))
        return contentOf(*typed);
    TypedValue expected { T {} };
    auto expectedCode = std::uint16_t(typeCodeOf(expected));
    auto foundCode = std::uint16_t(typeCodeOf(value));
    return malformedAt(block.valueOffset(index),
        "value " + std::to_string(index + 1) + " (" + kMemberNames[index] + ") should be " + typeName(expectedCode)
            + " (type code " + std::to_string(expectedCode) + "), found " + typeName(foundCode) + " (type code "
            + std::to_string(foundCode) + ")");
}

// An option member: an index into `options`.
template <typename Option, std::size_t N>
Result<Option> optionOf(const StateBlock& block, std::size_t index, const std::array<Option, N>& options)
{
    FROLIX_TRY(std::int16_t value, member<ValueI2>(block, index));
    if (auto option = optionAt(options, value))
        return *option;
    return malformedAt(block.valueOffset(index) + 2,
        std::string(kMemberNames[index]) + " " + std::to_string(value) + " is not between 0 and "
            + std::to_string(N - 1));
}

} // namespace

Result<DesignState> designStateFrom(const StateBlock& block)
{
    DesignState state;
    state.extentWidthHimetric = block.extentWidthHimetric;
    state.extentHeightHimetric = block.extentHeightHimetric;
    FROLIX_TRY(state.backColor, member<ValueUi4>(block, 0));
    FROLIX_TRY(state.transparent, member<ValueBool>(block, 1));
    FROLIX_TRY(state.autoPlay, member<ValueBool>(block, 2));
    FROLIX_TRY(state.startFrame, member<ValueI2>(block, 3));
    if (state.startFrame < 1)
        return malformedAt(block.valueOffset(3) + 2, "StartFrame " + std::to_string(state.startFrame) + " is below 1");
    FROLIX_TRY(state.stretchMode, optionOf(block, 4, kStretchModes));
    FROLIX_TRY(state.autoSize, member<ValueBool>(block, 5));
    FROLIX_TRY(state.fileName, member<ValueBstr>(block, 6));
    FROLIX_TRY(state.sequence, optionOf(block, 7, kSequences));
    FROLIX_TRY(state.toolTipText, member<ValueBstr>(block, 8));
    FROLIX_TRY(state.statusText, member<ValueBstr>(block, 9));
    FROLIX_TRY(state.tag, member<ValueBstr>(block, 10));
    FROLIX_TRY(state.picture, member<ValueDispatch>(block, 11));
    FROLIX_TRY(state.mousePointer, member<ValueI4>(block, 12));
    FROLIX_TRY(state.mouseIcon, member<ValueDispatch>(block, 13));
    state.animation = block.animation;
    return state;
}

StateBlock stateBlockFrom(const DesignState& state)
{
    StateBlock block;
    block.extentWidthHimetric = state.extentWidthHimetric;
    block.extentHeightHimetric = state.extentHeightHimetric;
    block.values = {
        ValueUi4 { state.backColor },
        ValueBool { state.transparent },
        ValueBool { state.autoPlay },
        ValueI2 { state.startFrame },
        ValueI2 { optionIndex(state.stretchMode) },
        ValueBool { state.autoSize },
        ValueBstr { state.fileName },
        ValueI2 { optionIndex(state.sequence) },
        ValueBstr { state.toolTipText },
        ValueBstr { state.statusText },
        ValueBstr { state.tag },
        ValueDispatch { state.picture },
        ValueI4 { state.mousePointer },
        ValueDispatch { state.mouseIcon },
    };
    block.animation = state.animation;
    return block;
}

} // namespace frolix
