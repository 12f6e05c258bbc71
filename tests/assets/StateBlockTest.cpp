// The state block reader: the committed block field by field, and crafted blocks,
// both well formed and damaged in each way the reader must refuse.

#include "AssetFiles.h"

#include "StateBlock.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <tuple>

using namespace assets_test;
using namespace frolix;

namespace {

// --- the committed block -------------------------------------------------------------

TEST(CommittedStateBlock, ReadsBackAsTheDocumentedDesignState)
{
    auto bytes = committedStateBlock();
    auto block = readStateBlock(bytes);
    ASSERT_TRUE(block.ok()) << block.error().message;
    EXPECT_EQ(writeStateBlock(block.value()), bytes);
    auto state = designStateFrom(block.value());
    ASSERT_TRUE(state.ok()) << state.error().message;
    const DesignState& d = state.value();
    EXPECT_EQ(std::tuple(d.extentWidthHimetric, d.extentHeightHimetric, d.backColor, d.startFrame, d.mousePointer),
        std::tuple(13970u, 6535u, 0x00FFC0C0u, 1, 14)); // back colour: red 192, green 192, blue 255
    EXPECT_EQ(std::tuple(d.transparent, d.autoPlay, d.autoSize, d.stretchMode, d.sequence),
        std::tuple(true, true, false, StretchMode::None, Sequence::Normal));
    EXPECT_TRUE(d.fileName.empty() && d.toolTipText.empty() && d.statusText.empty() && d.tag.empty());
    ASSERT_TRUE(std::holds_alternative<StandardPicture>(d.picture));
    EXPECT_TRUE(std::get<StandardPicture>(d.picture).bytes.empty());
    EXPECT_TRUE(std::holds_alternative<NoObject>(d.mouseIcon));
    EXPECT_EQ(d.animation, committedLogo());
    EXPECT_EQ(stateBlockFrom(d), block.value());
}

// --- crafted blocks --------------------------------------------------------------------

// The committed design with a six-byte animation, so that the layout after the values is
// short: N at 124, the units at 128-139, the trailer at 140-153.
StateBlock smallBlock()
{
    auto committed = readStateBlock(committedStateBlock());
    EXPECT_TRUE(committed.ok());
    StateBlock block = committed.value();
    block.animation = { 'G', 'I', 'F', '8', '9', 'a' };
    return block;
}

void setU16(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint16_t value)
{
    bytes[offset] = std::uint8_t(value);
    bytes[offset + 1] = std::uint8_t(value >> 8);
}

void setU32(std::vector<std::uint8_t>& bytes, std::size_t offset, std::uint32_t value)
{
    setU16(bytes, offset, std::uint16_t(value));
    setU16(bytes, offset + 2, std::uint16_t(value >> 16));
}

TEST(CraftedStateBlock, ObjectsAndTextRoundTripAndMoveTheFieldsAfterThem)
{
    // No object: the Picture's code at 74, sixteen zero bytes, MousePointer's code at 92.
    StateBlock block = smallBlock();
    block.values[11] = ValueDispatch { NoObject {} };
    auto bytes = writeStateBlock(block);
    EXPECT_TRUE(std::all_of(bytes.begin() + 76, bytes.begin() + 92, [](std::uint8_t b) { return b == 0; }));
    EXPECT_EQ(std::tuple(u16At(bytes, 74), u16At(bytes, 92), u32At(bytes, 94)), std::tuple(9, 3, 14u));
    auto read = readStateBlock(bytes);
    ASSERT_TRUE(read.ok()) << read.error().message;
    EXPECT_EQ(read.value(), block);

    // A picture of five bytes after its magic and count; MousePointer follows them.
    const std::vector<std::uint8_t> picture = { 'B', 'M', 1, 2, 3 };
    block.values[11] = ValueDispatch { StandardPicture { picture } };
    bytes = writeStateBlock(block);
    EXPECT_EQ(std::tuple(u32At(bytes, 92), u32At(bytes, 96), bytes[100], u16At(bytes, 105), u32At(bytes, 129)),
        std::tuple(0x746Cu, 5u, std::uint8_t('B'), 3, 12u));
    read = readStateBlock(bytes);
    ASSERT_TRUE(read.ok()) << read.error().message;
    EXPECT_EQ(read.value(), block);
    EXPECT_EQ(read.value().valueOffset(12), 105u);

    // Text: eight characters and the zero, read back without the zero.
    block = smallBlock();
    block.values[8] = ValueBstr { u"Frolix \u00e9" };
    bytes = writeStateBlock(block);
    EXPECT_EQ(std::tuple(u32At(bytes, 52), u16At(bytes, 70)), std::tuple(18u, 0x00E9));
    read = readStateBlock(bytes);
    ASSERT_TRUE(read.ok()) << read.error().message;
    auto state = designStateFrom(read.value());
    ASSERT_TRUE(state.ok());
    EXPECT_EQ(state.value().toolTipText, u"Frolix \u00e9");
}

struct Damage {
    const char* name;
    std::function<void(std::vector<std::uint8_t>&)> apply;
    Error::Kind kind;
    std::string reason; // the start of the expected message
};

TEST(CraftedStateBlock, EachKindOfDamageIsRefusedWithItsOffset)
{
    using K = Error::Kind;
    const Damage cases[] = {
        { "block shorter than its header", [](auto& b) { b.resize(10); }, K::Truncated,
            "state block ends at offset 10, 2 bytes short of the extent height" },
        { "wrong version", [](auto& b) { setU32(b, 0, 0x100); }, K::Malformed,
            "state block offset 0: expected version 0x00000200, found 0x00000100" },
        { "unknown type code", [](auto& b) { setU16(b, 26, 7); }, K::Malformed,
            "state block offset 26: unknown type code 7" },
        { "BOOL neither 0 nor 0xFFFF", [](auto& b) { setU16(b, 20, 1); }, K::Malformed,
            "state block offset 20: BOOL 0x0001 is neither 0 (False) nor 0xFFFF (True)" },
        { "odd text count", [](auto& b) { setU32(b, 40, 3); }, K::Malformed,
            "state block offset 40: text byte count 3 is not an even number of at least 2" },
        { "text count beyond the block", [](auto& b) { setU32(b, 40, 1000); }, K::Truncated,
            "state block offset 40: text byte count 1000 is larger than the 110 bytes that remain" },
        { "text without its zero character", [](auto& b) { setU16(b, 44, 0x41); }, K::Malformed,
            "state block offset 44: text ends with 0x0041 instead of a zero character" },
        { "unknown class id", [](auto& b) { b[76] ^= 1; }, K::Malformed,
            "state block offset 76: unknown class id {0BE35205-8F91-11CE-9DE3-00AA004BB851}" },
        { "wrong picture magic", [](auto& b) { setU32(b, 92, 0); }, K::Malformed,
            "state block offset 92: expected the picture magic 0x0000746C, found 0x00000000" },
        { "picture count beyond the block", [](auto& b) { setU32(b, 96, 0x7FFFFFF0); }, K::Truncated,
            "state block offset 96: picture byte count 2147483632 is larger than the 54 bytes that remain" },
        { "odd animation count", [](auto& b) { setU32(b, 124, 13); }, K::Malformed,
            "state block offset 124: animation byte count 13 is odd" },
        { "animation count beyond the block", [](auto& b) { setU32(b, 124, 40); }, K::Truncated,
            "state block offset 124: animation byte count 40 is larger than the 26 bytes that remain" },
        { "animation count too small", [](auto& b) { setU32(b, 124, 10); }, K::Malformed,
            "state block offset 138: expected the extent width 13970 again" },
        { "unit with a high byte", [](auto& b) { b[135] = 1; }, K::Malformed,
            "state block offset 134: unit 0x0138 has a non-zero high byte" },
        { "block ends inside the trailer", [](auto& b) { b.resize(150); }, K::Truncated,
            "state block ends at offset 150, 4 bytes short of the trailer" },
        { "trailer width differs", [](auto& b) { setU32(b, 140, 1); }, K::Malformed,
            "state block offset 140: expected the extent width 13970 again, found 1" },
        { "non-zero before the end marker", [](auto& b) { setU32(b, 148, 5); }, K::Malformed,
            "state block offset 148: expected 0 before the end marker, found 5" },
        { "wrong end marker", [](auto& b) { setU16(b, 152, 0xFFFE); }, K::Malformed,
            "state block offset 152: expected the end marker 0xFFFF, found 0xFFFE" },
        { "bytes after the end marker", [](auto& b) { b.push_back(0); }, K::Malformed,
            "state block offset 154: 1 byte follows the end marker" },
    };
    const auto intact = writeStateBlock(smallBlock());
    ASSERT_EQ(intact.size(), 154u);
    ASSERT_TRUE(readStateBlock(intact).ok());
    for (const Damage& damage : cases) {
        SCOPED_TRACE(damage.name);
        auto bytes = intact;
        damage.apply(bytes);
        auto result = readStateBlock(bytes);
        ASSERT_FALSE(result.ok());
        EXPECT_EQ(result.error().kind, damage.kind);
        EXPECT_EQ(result.error().message.rfind(damage.reason, 0), 0u) << result.error().message;
    }
}

struct Misfit {
    const char* name;
    std::size_t index;
    TypedValue value;
    std::string reason;
};

TEST(CraftedStateBlock, DesignStateRefusesValuesOfTheWrongKindOrRange)
{
    const Misfit cases[] = {
        { "BackColor as I4", 0, ValueI4 { 0xC0 },
            "state block offset 12: value 1 (BackColor) should be UI4 (type code 19), found I4 (type code 3)" },
        { "StartFrame as BOOL", 3, ValueBool { true },
            "state block offset 26: value 4 (StartFrame) should be I2 (type code 2), found BOOL (type code 11)" },
        { "Picture as text", 11, ValueBstr { u"sky.bmp" },
            "state block offset 74: value 12 (Picture) should be DISPATCH (type code 9), found BSTR (type code 8)" },
        { "StartFrame 0", 3, ValueI2 { 0 }, "state block offset 28: StartFrame 0 is below 1" },
        { "StretchMode 3", 4, ValueI2 { 3 }, "state block offset 32: StretchMode 3 is not between 0 and 2" },
        { "Sequence -1", 7, ValueI2 { -1 }, "state block offset 48: Sequence -1 is not between 0 and 2" },
    };
    for (const Misfit& misfit : cases) {
        SCOPED_TRACE(misfit.name);
        StateBlock block = smallBlock();
        block.values[misfit.index] = misfit.value;
        // Any kind is fine for the layout layer; only the meaning is wrong.
        auto read = readStateBlock(writeStateBlock(block));
        ASSERT_TRUE(read.ok()) << read.error().message;
        auto state = designStateFrom(read.value());
        ASSERT_FALSE(state.ok());
        EXPECT_EQ(state.error().message, misfit.reason);
    }
}

} // namespace
