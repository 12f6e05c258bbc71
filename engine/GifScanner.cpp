#include "GifScanner.h"

#include "ByteReader.h"

#include <algorithm>
#include <cstring>

namespace frolix::gif {

Disposal disposalFromWire(std::uint8_t value)
{
    switch (value) {
    case 1:
        return Disposal::Keep;
    case 2:
        return Disposal::RestoreBackground;
    case 3:
    case 4: // some encoders write 4 for "restore previous" (QUIRKS.md)
        return Disposal::RestorePrevious;
    default:
        return Disposal::None;
    }
}

namespace {

constexpr std::uint8_t kExtensionIntroducer = 0x21;
constexpr std::uint8_t kImageSeparator = 0x2C;
constexpr std::uint8_t kTrailer = 0x3B;
constexpr std::uint8_t kGraphicControlLabel = 0xF9;
constexpr std::uint8_t kApplicationLabel = 0xFF;

// Packed fields. The screen and image descriptors share the colour table bits.
constexpr std::uint8_t kHasColourTable = 0x80;
constexpr std::uint8_t kInterlaced = 0x40; // image descriptor
constexpr std::uint8_t kTableSizeBits = 0x07; // a table of 2^(n+1) entries
constexpr std::uint8_t kDisposalBits = 0x1C; // graphic control
constexpr unsigned kDisposalShift = 2;
constexpr std::uint8_t kHasTransparentIndex = 0x01; // graphic control

struct ColourTable {
    std::size_t offset = 0;
    std::uint16_t size = 0; // 0: none
};

struct PendingControl {
    std::uint16_t delayCs = 0;
    Disposal disposal = Disposal::None;
    std::optional<std::uint8_t> transparentIndex;
};

// Skips a chain of data sub-blocks. Returns false when the file ends inside it.
bool skipSubBlocks(ByteReader& in)
{
    // Each size byte says where the next one is, so a large file's scan waits on memory
    // once per block. Image data is mostly full blocks, a size byte every 256 bytes:
    // asking early for the ones a few blocks ahead lets those waits overlap.
    constexpr std::size_t kFullBlock = 256, kAhead = 32;
    const std::span<const std::uint8_t> data = in.data();
    std::size_t at = in.offset();
    while (at < data.size()) {
        __builtin_prefetch(data.data() + std::min(at + kAhead * kFullBlock, data.size() - 1));
        std::size_t size = data[at];
        if (size == 0) {
            in.skip(at + 1 - in.offset());
            return true;
        }
        at += size + 1;
    }
    in.skip(in.remaining());
    return false;
}

// Reads a graphic control extension's sub-blocks. GIF89a fixes its size at 4; a longer
// block is read for its first four bytes and a shorter one is ignored (QUIRKS.md).
bool readGraphicControl(ByteReader& in, std::optional<PendingControl>& control, std::vector<Warning>& warnings)
{
    std::size_t at = in.offset();
    auto size = in.readU8();
    if (!size)
        return false;
    if (*size >= 4 && in.remaining() >= 4) {
        std::uint8_t packed = *in.readU8();
        PendingControl value;
        value.disposal = disposalFromWire((packed & kDisposalBits) >> kDisposalShift);
        value.delayCs = *in.readU16();
        std::uint8_t transparent = *in.readU8();
        if (packed & kHasTransparentIndex)
            value.transparentIndex = transparent;
        control = value;
        if (!in.skip(*size - 4))
            return false;
        if (*size != 4)
            warnings.push_back({ Warning::Kind::GraphicControlSize,
                "graphic control at offset " + std::to_string(at) + " has block size " + std::to_string(*size)
                    + " instead of 4; its first four bytes were used" });
    } else {
        if (*size < 4)
            warnings.push_back({ Warning::Kind::GraphicControlSize,
                "graphic control at offset " + std::to_string(at) + " has block size " + std::to_string(*size)
                    + ", too short for its fields; ignored" });
        if (!in.skip(*size))
            return false;
    }
    return skipSubBlocks(in);
}

// NETSCAPE2.0 and ANIMEXTS1.0 carry a loop count in a sub-block starting with 1.
bool readApplication(ByteReader& in, std::optional<std::uint16_t>& loopCount)
{
    auto size = in.readU8();
    if (!size)
        return false;
    auto identifier = in.readBytes(*size);
    if (!identifier)
        return false;
    bool isLoopExtension = *size == 11
        && (std::memcmp(identifier->data(), "NETSCAPE2.0", 11) == 0
            || std::memcmp(identifier->data(), "ANIMEXTS1.0", 11) == 0);
    for (;;) {
        auto blockSize = in.readU8();
        if (!blockSize)
            return false;
        if (*blockSize == 0)
            return true;
        auto block = in.readBytes(*blockSize);
        if (!block)
            return false;
        if (isLoopExtension && *blockSize >= 3 && (*block)[0] == 1)
            loopCount = static_cast<std::uint16_t>((*block)[1] | ((*block)[2] << 8));
    }
}

std::string offsetText(std::size_t offset) { return "offset " + std::to_string(offset); }

// Notes where the colour table that `packed` announces lies. False when the file ends in it.
bool readColourTable(ByteReader& in, std::uint8_t packed, ColourTable& table)
{
    if (!(packed & kHasColourTable))
        return true;
    table.size = std::uint16_t(2u << (packed & kTableSizeBits));
    table.offset = in.offset();
    return in.skip(3u * table.size);
}

// Header, logical screen descriptor and global colour table.
Result<ColourTable> readScreen(ByteReader& in, GifInfo& info)
{
    auto signature = in.readBytes(6);
    if (!signature || std::memcmp(signature->data(), "GIF", 3) != 0)
        return makeError(Error::Kind::NotGif, "not a GIF file: it does not start with \"GIF\"");
    if (std::memcmp(signature->data() + 3, "87a", 3) == 0)
        info.isGif87a = true;
    else if (std::memcmp(signature->data() + 3, "89a", 3) != 0)
        info.warnings.push_back({ Warning::Kind::UnknownVersion, "unknown GIF version; read as GIF89a" });

    if (in.remaining() < 7)
        return makeError(Error::Kind::Truncated, "truncated in the logical screen descriptor");
    info.width = *in.readU16();
    info.height = *in.readU16();
    std::uint8_t packed = *in.readU8();
    // The background colour index and the pixel aspect ratio: browsers ignore both, and
    // so do we (disposal 2 clears to transparent, QUIRKS.md).
    in.skip(2);

    if (info.width == 0 || info.height == 0)
        return makeError(Error::Kind::Malformed,
            "logical screen " + std::to_string(info.width) + " x " + std::to_string(info.height)
                + " has no pixels to show");
    std::uint64_t pixels = std::uint64_t(info.width) * info.height;
    if (pixels > kMaxCanvasPixels)
        return makeError(Error::Kind::OverLimit,
            "logical screen " + std::to_string(info.width) + " x " + std::to_string(info.height)
                + " is over the limit of " + std::to_string(kMaxCanvasPixels) + " pixels");

    ColourTable global;
    if (!readColourTable(in, packed, global))
        return makeError(Error::Kind::Truncated, "truncated in the global colour table");
    return global;
}

// An extension block after its introducer. False when the file ends in it.
bool readExtension(ByteReader& in, std::optional<PendingControl>& control, GifInfo& info)
{
    auto label = in.readU8();
    if (!label)
        return false;
    if (*label == kGraphicControlLabel)
        return readGraphicControl(in, control, info.warnings);
    if (*label == kApplicationLabel)
        return readApplication(in, info.storedLoopCount);
    return skipSubBlocks(in); // comment, plain text and unknown extensions carry nothing we draw
}

// The image descriptor after its separator: rectangle and flags. Returns the packed
// field, or nullopt when the file ends in the descriptor.
std::optional<std::uint8_t> readImageDescriptor(ByteReader& in, ImageRecord& image)
{
    if (in.remaining() < 9)
        return std::nullopt;
    image.left = *in.readU16();
    image.top = *in.readU16();
    image.width = *in.readU16();
    image.height = *in.readU16();
    std::uint8_t packed = *in.readU8();
    image.interlaced = packed & kInterlaced;
    return packed;
}

// The LZW minimum code size and the data sub-blocks, whose start is noted. False when
// the file ends in them.
bool readImageData(ByteReader& in, ImageRecord& image)
{
    auto codeSize = in.readU8();
    image.minCodeSize = codeSize.value_or(0);
    image.dataOffset = in.offset();
    return codeSize && skipSubBlocks(in);
}

enum class ImageEnd { Complete, CutShort, NoDescriptor };

// One image after its separator, taking the graphic control that precedes it. An image
// cut short keeps what its data holds, as browsers show it; one cut in its colour table
// or code size has no pixels at all.
ImageEnd readImage(
    ByteReader& in, const ColourTable& global, std::optional<PendingControl>& control, ImageRecord& image)
{
    auto packed = readImageDescriptor(in, image);
    if (!packed)
        return ImageEnd::NoDescriptor;
    if (control) {
        image.hasGraphicControl = true;
        image.delayCs = control->delayCs;
        image.disposal = control->disposal;
        image.transparentIndex = control->transparentIndex;
        control.reset();
    }
    ColourTable table = global;
    bool complete = readColourTable(in, *packed, table);
    image.paletteSize = table.size;
    image.paletteOffset = table.offset;
    if (complete)
        complete = readImageData(in, image);
    else
        image.dataOffset = in.offset();
    return complete ? ImageEnd::Complete : ImageEnd::CutShort;
}

} // namespace

Result<GifInfo> scan(std::span<const std::uint8_t> data, const ScanProgress& passed)
{
    ByteReader in(data);
    GifInfo info;
    FROLIX_TRY(const ColourTable global, readScreen(in, info));

    std::optional<PendingControl> control;
    bool stopScan = false; // the trailer, the frame limit or a stray byte: the rest is not read
    bool truncated = false;
    while (!stopScan && !truncated) {
        std::size_t blockOffset = in.offset();
        auto introducer = in.readU8();
        if (!introducer) {
            truncated = true;
            break;
        }
        switch (*introducer) {
        case kTrailer:
            stopScan = true;
            break;
        case kExtensionIntroducer:
            truncated = !readExtension(in, control, info);
            break;
        case kImageSeparator: {
            ImageRecord image;
            ImageEnd end = readImage(in, global, control, image);
            truncated = end != ImageEnd::Complete;
            if (end == ImageEnd::NoDescriptor)
                break;
            if (info.images.size() == kMaxFrames) {
                info.warnings.push_back({ Warning::Kind::TooManyFrames,
                    "more than " + std::to_string(kMaxFrames) + " frames; the rest are ignored" });
                stopScan = true;
                break;
            }
            info.images.push_back(image);
            if (passed && !passed(in.offset()))
                return makeError(Error::Kind::Stopped, "stopped at " + offsetText(in.offset()));
            break;
        }
        default:
            if (info.images.empty())
                return makeError(Error::Kind::Malformed,
                    "unexpected byte " + std::to_string(*introducer) + " at " + offsetText(blockOffset)
                        + " before the first image");
            info.warnings.push_back({ Warning::Kind::StrayByte,
                "unexpected byte " + std::to_string(*introducer) + " at " + offsetText(blockOffset)
                    + "; the rest of the file is ignored" });
            stopScan = true;
            break;
        }
    }

    if (truncated) {
        if (info.images.empty())
            return makeError(Error::Kind::Truncated,
                "truncated before the first image (file ends at " + offsetText(data.size()) + ")");
        info.warnings.push_back(
            { Warning::Kind::NoTrailer, "file ends at " + offsetText(data.size()) + " without a trailer" });
    }
    return info;
}

} // namespace frolix::gif
