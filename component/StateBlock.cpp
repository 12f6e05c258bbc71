#include "StateBlock.h"

#include "ByteReader.h"
#include "ByteWriter.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <string_view>
#include <tuple>
#include <utility>

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

constexpr std::size_t kAnimationCountBytes = 4;
// After the animation: the extents again, a zero and the end marker.
constexpr std::size_t kTrailerBytes = 14;
constexpr std::size_t kTrailerHeightAt = 4, kTrailerZeroAt = 8, kTrailerMarkerAt = 12;
// The values of the block we ship take 112 bytes; room for texts and a small picture too.
constexpr std::size_t kValueRoomBytes = 112 + 256;
constexpr std::size_t kClassIdBytes = kStandardPictureClassId.size();
constexpr std::uint16_t kStoredTrue = 0xFFFF, kStoredFalse = 0;
// A text's stored count includes its terminating zero character, two bytes.
constexpr std::size_t kTextZeroBytes = 2;

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

// Reads the block's fields in order and words every failure the same way: where the
// data ran out and by how much, relative to the end of the field that was being read.
class FieldReader {
public:
    explicit FieldReader(std::span<const std::uint8_t> data)
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

Result<ValueBstr> readBstr(FieldReader& reader)
{
    std::size_t countOffset = reader.offset();
    FROLIX_TRY(std::uint32_t count, reader.u32("a text byte count"));
    if (count < kTextZeroBytes || count % 2 != 0)
        return malformedAt(countOffset,
            "text byte count " + std::to_string(count) + " is not an even number of at least 2 (the terminating zero)");
    if (auto error = reader.checkCount(countOffset, count, "text byte count"))
        return *error;
    FROLIX_TRY(auto bytes, reader.bytes(count, "a text"));
    ValueBstr value;
    value.text.reserve((count - kTextZeroBytes) / 2);
    for (std::size_t i = 0; i + kTextZeroBytes < count; i += 2)
        value.text.push_back(char16_t(bytes[i] | (bytes[i + 1] << 8)));
    std::size_t zeroAt = count - kTextZeroBytes;
    std::uint16_t last = std::uint16_t(bytes[zeroAt] | (bytes[zeroAt + 1] << 8));
    if (last != 0)
        return malformedAt(countOffset + sizeof(std::uint32_t) + zeroAt,
            "text ends with " + hex(last, 4) + " instead of a zero character");
    return value;
}

Result<ValueDispatch> readDispatch(FieldReader& reader)
{
    std::size_t idOffset = reader.offset();
    FROLIX_TRY(auto id, reader.bytes(kClassIdBytes, "a class id"));
    if (std::all_of(id.begin(), id.end(), [](std::uint8_t byte) { return byte == 0; }))
        return ValueDispatch { NoObject {} };
    if (!std::equal(id.begin(), id.end(), kStandardPictureClassId.begin()))
        return malformedAt(idOffset, "unknown class id " + classIdText(id) + ", whose data length cannot be known");

    std::size_t magicOffset = reader.offset();
    FROLIX_TRY(std::uint32_t magic, reader.u32("the picture's magic"));
    if (magic != kStandardPictureMagic)
        return malformedAt(
            magicOffset, "expected the picture magic " + hex(kStandardPictureMagic, 8) + ", found " + hex(magic, 8));
    std::size_t countOffset = reader.offset();
    FROLIX_TRY(std::uint32_t count, reader.u32("a picture byte count"));
    if (auto error = reader.checkCount(countOffset, count, "picture byte count"))
        return *error;
    FROLIX_TRY(auto bytes, reader.bytes(count, "the picture"));
    return ValueDispatch { StandardPicture { std::vector<std::uint8_t>(bytes.begin(), bytes.end()) } };
}

Result<TypedValue> readValue(FieldReader& reader)
{
    std::size_t codeOffset = reader.offset();
    FROLIX_TRY(std::uint16_t code, reader.u16("a type code"));
    switch (TypeCode(code)) {
    case TypeCode::I2: {
        FROLIX_TRY(std::uint16_t value, reader.u16("an I2 value"));
        return TypedValue { ValueI2 { std::int16_t(value) } };
    }
    case TypeCode::I4: {
        FROLIX_TRY(std::uint32_t value, reader.u32("an I4 value"));
        return TypedValue { ValueI4 { std::int32_t(value) } };
    }
    case TypeCode::Bstr: {
        FROLIX_TRY(ValueBstr value, readBstr(reader));
        return TypedValue { std::move(value) };
    }
    case TypeCode::Dispatch: {
        FROLIX_TRY(ValueDispatch value, readDispatch(reader));
        return TypedValue { std::move(value) };
    }
    case TypeCode::Bool: {
        std::size_t valueOffset = reader.offset();
        FROLIX_TRY(std::uint16_t value, reader.u16("a BOOL value"));
        if (value != kStoredFalse && value != kStoredTrue)
            return malformedAt(valueOffset, "BOOL " + hex(value, 4) + " is neither 0 (False) nor 0xFFFF (True)");
        return TypedValue { ValueBool { value == kStoredTrue } };
    }
    case TypeCode::Ui4: {
        FROLIX_TRY(std::uint32_t value, reader.u32("a UI4 value"));
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
                    out.insert(out.end(), kClassIdBytes, 0);
                } else {
                    const auto& picture = std::get<StandardPicture>(v.object);
                    out.insert(out.end(), kStandardPictureClassId.begin(), kStandardPictureClassId.end());
                    putU32(out, kStandardPictureMagic);
                    putU32(out, std::uint32_t(picture.bytes.size()));
                    out.insert(out.end(), picture.bytes.begin(), picture.bytes.end());
                }
            } else if constexpr (std::is_same_v<T, ValueBool>) {
                putU16(out, v.value ? kStoredTrue : kStoredFalse);
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
    std::size_t offset = kStateBlockHeaderBytes;
    for (std::size_t i = 0; i < index && i < values.size(); ++i)
        offset += storedSize(values[i]);
    return offset;
}

Result<StateBlock> readStateBlock(std::span<const std::uint8_t> data)
{
    FieldReader reader(data);
    StateBlock block;

    FROLIX_TRY(std::uint32_t version, reader.u32("the version"));
    if (version != kStateBlockVersion)
        return malformedAt(0, "expected version " + hex(kStateBlockVersion, 8) + ", found " + hex(version, 8));
    FROLIX_TRY(block.extentWidthHimetric, reader.u32("the extent width"));
    FROLIX_TRY(block.extentHeightHimetric, reader.u32("the extent height"));

    for (auto& value : block.values) {
        FROLIX_TRY(TypedValue read, readValue(reader));
        value = std::move(read);
    }

    std::size_t countOffset = reader.offset();
    FROLIX_TRY(std::uint32_t count, reader.u32("the animation byte count"));
    if (count % 2 != 0)
        return malformedAt(countOffset, "animation byte count " + std::to_string(count) + " is odd");
    if (auto error = reader.checkCount(countOffset, count, "animation byte count"))
        return *error;
    std::size_t unitsOffset = reader.offset();
    FROLIX_TRY(auto units, reader.bytes(count, "the animation"));
    block.animation.resize(count / 2);
    for (std::size_t i = 0; i < block.animation.size(); ++i) {
        if (units[2 * i + 1] != 0)
            return malformedAt(unitsOffset + 2 * i,
                "unit " + hex(std::uint32_t(units[2 * i] | (units[2 * i + 1] << 8)), 4) + " has a non-zero high byte");
        block.animation[i] = units[2 * i];
    }

    std::size_t trailerOffset = reader.offset();
    if (reader.remaining() < kTrailerBytes)
        return reader.shortOf(trailerOffset + kTrailerBytes, "the trailer");
    FROLIX_TRY(std::uint32_t width, reader.u32("the trailer"));
    if (width != block.extentWidthHimetric)
        return malformedAt(trailerOffset,
            "expected the extent width " + std::to_string(block.extentWidthHimetric) + " again, found "
                + std::to_string(width));
    FROLIX_TRY(std::uint32_t height, reader.u32("the trailer"));
    if (height != block.extentHeightHimetric)
        return malformedAt(trailerOffset + kTrailerHeightAt,
            "expected the extent height " + std::to_string(block.extentHeightHimetric) + " again, found "
                + std::to_string(height));
    FROLIX_TRY(std::uint32_t zero, reader.u32("the trailer"));
    if (zero != 0)
        return malformedAt(
            trailerOffset + kTrailerZeroAt, "expected 0 before the end marker, found " + std::to_string(zero));
    FROLIX_TRY(std::uint16_t marker, reader.u16("the trailer"));
    if (marker != kStateBlockEndMarker)
        return malformedAt(trailerOffset + kTrailerMarkerAt, "expected the end marker 0xFFFF, found " + hex(marker, 4));
    if (reader.remaining() != 0)
        return malformedAt(reader.offset(),
            std::to_string(reader.remaining()) + (reader.remaining() == 1 ? " byte follows" : " bytes follow")
                + " the end marker");
    return block;
}

std::vector<std::uint8_t> writeStateBlock(const StateBlock& block)
{
    std::vector<std::uint8_t> out;
    out.reserve(
        kStateBlockHeaderBytes + kValueRoomBytes + kAnimationCountBytes + 2 * block.animation.size() + kTrailerBytes);
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

template <typename> struct FieldTypeOf;
template <typename T> struct FieldTypeOf<T DesignState::*> {
    using type = T;
};
template <auto Field> using FieldType = typename FieldTypeOf<decltype(Field)>::type;

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
template <typename T>
auto content(const StateBlock& block, std::size_t index, const char* name) -> Result<decltype(contentOf(T {}))>
{
    const TypedValue& value = block.values[index];
    if (const T* typed = std::get_if<T>(&value))
        return contentOf(*typed);
    TypedValue expected { T {} };
    auto expectedCode = std::uint16_t(typeCodeOf(expected));
    auto foundCode = std::uint16_t(typeCodeOf(value));
    return malformedAt(block.valueOffset(index),
        "value " + std::to_string(index + 1) + " (" + name + ") should be " + typeName(expectedCode) + " (type code "
            + std::to_string(expectedCode) + "), found " + typeName(foundCode) + " (type code "
            + std::to_string(foundCode) + ")");
}

// Where an I2 member's number lies in the block: after its type code.
std::size_t numberOffset(const StateBlock& block, std::size_t index)
{
    return block.valueOffset(index) + sizeof(TypeCode);
}

// The kinds of member. Each knows its name, the kind of value it is stored as, the field
// of DesignState it sets and that field's initial value; reading checks what the layout
// alone cannot.

// Stored as it is held: a colour, a flag, a number, a text or an object.
template <typename Stored, auto Field> struct Plain {
    static constexpr auto field = Field;
    const char* name;
    FieldType<Field> initial;

    Result<FieldType<Field>> read(const StateBlock& block, std::size_t index) const
    {
        return content<Stored>(block, index, name);
    }
    TypedValue stored(const DesignState& state) const { return Stored { state.*Field }; }
};

// An I2 counted from `lowest`.
template <auto Field> struct AtLeast {
    static constexpr auto field = Field;
    const char* name;
    FieldType<Field> initial;
    std::int16_t lowest;

    Result<std::int16_t> read(const StateBlock& block, std::size_t index) const
    {
        FROLIX_TRY(std::int16_t value, content<ValueI2>(block, index, name));
        if (value < lowest)
            return malformedAt(numberOffset(block, index),
                std::string(name) + " " + std::to_string(value) + " is below " + std::to_string(lowest));
        return value;
    }
    TypedValue stored(const DesignState& state) const { return ValueI2 { state.*Field }; }
};

// An I2 index into `Options`.
template <auto Field, const auto& Options> struct Option {
    static constexpr auto field = Field;
    const char* name;
    FieldType<Field> initial;

    Result<FieldType<Field>> read(const StateBlock& block, std::size_t index) const
    {
        FROLIX_TRY(std::int16_t value, content<ValueI2>(block, index, name));
        if (auto option = optionAt(Options, value))
            return *option;
        return malformedAt(numberOffset(block, index),
            std::string(name) + " " + std::to_string(value) + " is not between 0 and "
                + std::to_string(Options.size() - 1));
    }
    TypedValue stored(const DesignState& state) const { return ValueI2 { optionIndex(state.*Field) }; }
};

using S = DesignState;

// The fourteen values in stored order, made on first use (a DesignState may be made
// while statics are still being initialised).
const auto& members()
{
    static const auto table = std::tuple {
        Plain<ValueUi4, &S::backColor> { "BackColor", 0 }, // colour as 0x00BBGGRR
        Plain<ValueBool, &S::transparent> { "Transparent", false },
        Plain<ValueBool, &S::autoPlay> { "AutoPlay", false },
        AtLeast<&S::startFrame> { "StartFrame", 1, 1 },
        Option<&S::stretchMode, kStretchModes> { "StretchMode", StretchMode::None },
        Plain<ValueBool, &S::autoSize> { "AutoSize", false },
        Plain<ValueBstr, &S::fileName> { "FileName", u"" }, // empty: the stored animation
        Option<&S::sequence, kSequences> { "Sequence", Sequence::Normal },
        Plain<ValueBstr, &S::toolTipText> { "ToolTipText", u"" },
        Plain<ValueBstr, &S::statusText> { "StatusText", u"" },
        Plain<ValueBstr, &S::tag> { "Tag", u"" },
        Plain<ValueDispatch, &S::picture> { "Picture", NoObject {} },
        Plain<ValueI4, &S::mousePointer> { "MousePointer", 0 },
        Plain<ValueDispatch, &S::mouseIcon> { "MouseIcon", NoObject {} },
    };
    static_assert(std::tuple_size_v<std::remove_cvref_t<decltype(table)>> == kStateValueCount);
    return table;
}

// Calls visit(member, index, field) for each member in stored order, until one gives false.
template <typename State, typename Visit> void forEachMember(State& state, Visit&& visit)
{
    auto one = [&](const auto& member, std::size_t index) {
        return visit(member, index, state.*std::remove_cvref_t<decltype(member)>::field);
    };
    [&]<std::size_t... I>(std::index_sequence<I...>) { (one(std::get<I>(members()), I) && ...); }
    (std::make_index_sequence<kStateValueCount> {});
}

} // namespace

DesignState::DesignState()
{
    forEachMember(*this, [](const auto& member, std::size_t, auto& field) {
        field = member.initial;
        return true;
    });
}

Result<DesignState> designStateFrom(const StateBlock& block)
{
    DesignState state;
    state.extentWidthHimetric = block.extentWidthHimetric;
    state.extentHeightHimetric = block.extentHeightHimetric;
    std::optional<Error> error;
    forEachMember(state, [&](const auto& member, std::size_t index, auto& field) {
        auto read = member.read(block, index);
        if (!read)
            error = read.error();
        else
            field = std::move(read).value();
        return !error;
    });
    if (error)
        return *error;
    state.animation = block.animation;
    return state;
}

StateBlock stateBlockFrom(const DesignState& state)
{
    StateBlock block;
    block.extentWidthHimetric = state.extentWidthHimetric;
    block.extentHeightHimetric = state.extentHeightHimetric;
    forEachMember(state, [&](const auto& member, std::size_t index, const auto&) {
        block.values[index] = member.stored(state);
        return true;
    });
    block.animation = state.animation;
    return block;
}

} // namespace frolix
