#include "GifScanner.h"

#include "ByteReader.h"

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

struct PendingControl {
    std::uint16_t delayCs = 0;
    Disposal disposal = Disposal::None;
    std::optional<std::uint8_t> transparentIndex;
};

// Skips a chain of data sub-blocks. Returns false when the file ends inside it.
bool skipSubBlocks(ByteReader& in)
{
    for (;;) {
        auto size = in.readU8();
        if (!size)
            return false;
        if (*size == 0)
            return true;
        if (!in.skip(*size))
            return false;
    }
}

// Reads a graphic control extension's sub-blocks. GIF89a fixes its size at 4; a longer
// block is read for its first four bytes and a shorter one is ignored (QUIRKS.md).
bool readGraphicControl(ByteReader& in, std::optional<PendingControl>& control, std::vector<std::string>& warnings)
{
    std::size_t at = in.offset();
    auto size = in.readU8();
    if (!size)
        return false;
    if (*size >= 4 && in.remaining() >= 4) {
        std::uint8_t packed = *in.readU8();
        PendingControl value;
        value.disposal = disposalFromWire((packed >> 2) & 7);
        value.delayCs = *in.readU16();
        std::uint8_t transparent = *in.readU8();
        if (packed & 1)
            value.transparentIndex = transparent;
        control = value;
        if (!in.skip(*size - 4))
            return false;
        if (*size != 4)
            warnings.push_back("graphic control at offset " + std::to_string(at) + " has block size "
                + std::to_string(*size) + " instead of 4; its first four bytes were used");
    } else {
        if (*size < 4)
            warnings.push_back("graphic control at offset " + std::to_string(at) + " has block size "
                + std::to_string(*size) + ", too short for its fields; ignored");
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

} // namespace

Result<GifInfo> scan(std::span<const std::uint8_t> data)
{
    ByteReader in(data);
    GifInfo info;

    auto signature = in.readBytes(6);
    if (!signature || std::memcmp(signature->data(), "GIF", 3) != 0)
        return makeError(Error::Kind::NotGif, "not a GIF file: it does not start with \"GIF\"");
    if (std::memcmp(signature->data() + 3, "87a", 3) == 0)
        info.isGif87a = true;
    else if (std::memcmp(signature->data() + 3, "89a", 3) != 0)
        info.warnings.push_back("unknown GIF version; read as GIF89a");

    if (in.remaining() < 7)
        return makeError(Error::Kind::Truncated, "truncated in the logical screen descriptor");
    info.width = *in.readU16();
    info.height = *in.readU16();
    std::uint8_t packed = *in.readU8();
    info.backgroundIndex = *in.readU8();
    in.skip(1); // pixel aspect ratio: browsers ignore it and so do we

    if (info.width == 0 || info.height == 0)
        return makeError(Error::Kind::Malformed,
            "logical screen " + std::to_string(info.width) + " x " + std::to_string(info.height)
                + " has no pixels to show");
    std::uint64_t pixels = std::uint64_t(info.width) * info.height;
    if (pixels > kMaxCanvasPixels)
        return makeError(Error::Kind::OverLimit,
            "logical screen " + std::to_string(info.width) + " x " + std::to_string(info.height)
                + " is over the limit of " + std::to_string(kMaxCanvasPixels) + " pixels");

    std::size_t globalOffset = 0;
    std::uint16_t globalSize = 0;
    if (packed & 0x80) {
        globalSize = std::uint16_t(2u << (packed & 7));
        globalOffset = in.offset();
        if (!in.skip(3u * globalSize))
            return makeError(Error::Kind::Truncated, "truncated in the global colour table");
    }

    std::optional<PendingControl> control;
    bool sawTrailer = false;
    bool truncated = false;
    while (!sawTrailer && !truncated) {
        std::size_t blockOffset = in.offset();
        auto introducer = in.readU8();
        if (!introducer) {
            truncated = true;
            break;
        }
        switch (*introducer) {
        case kTrailer:
            sawTrailer = true;
            break;
        case kExtensionIntroducer: {
            auto label = in.readU8();
            if (!label) {
                truncated = true;
                break;
            }
            bool complete;
            if (*label == kGraphicControlLabel)
                complete = readGraphicControl(in, control, info.warnings);
            else if (*label == kApplicationLabel)
                complete = readApplication(in, info.storedLoopCount);
            else // comment, plain text and unknown extensions carry nothing we draw
                complete = skipSubBlocks(in);
            truncated = !complete;
            break;
        }
        case kImageSeparator: {
            if (in.remaining() < 9) {
                truncated = true;
                break;
            }
            ImageRecord image;
            image.left = *in.readU16();
            image.top = *in.readU16();
            image.width = *in.readU16();
            image.height = *in.readU16();
            std::uint8_t imagePacked = *in.readU8();
            image.interlaced = imagePacked & 0x40;
            if (control) {
                image.hasGraphicControl = true;
                image.delayCs = control->delayCs;
                image.disposal = control->disposal;
                image.transparentIndex = control->transparentIndex;
                control.reset();
            }
            // An image cut short keeps what its data holds, as browsers show it; one cut
            // in its colour table or code size has no pixels at all.
            if (imagePacked & 0x80) {
                image.paletteSize = std::uint16_t(2u << (imagePacked & 7));
                image.paletteOffset = in.offset();
                truncated = !in.skip(3u * image.paletteSize);
            } else {
                image.paletteSize = globalSize;
                image.paletteOffset = globalOffset;
            }
            auto codeSize = truncated ? std::nullopt : in.readU8();
            truncated = !codeSize;
            image.minCodeSize = codeSize.value_or(0);
            image.dataOffset = in.offset();
            if (!truncated)
                truncated = !skipSubBlocks(in);
            if (info.images.size() == kMaxFrames) {
                info.warnings.push_back("more than " + std::to_string(kMaxFrames) + " frames; the rest are ignored");
                sawTrailer = true;
                break;
            }
            info.images.push_back(image);
            break;
        }
        default:
            if (info.images.empty())
                return makeError(Error::Kind::Malformed,
                    "unexpected byte " + std::to_string(*introducer) + " at " + offsetText(blockOffset)
                        + " before the first image");
            info.warnings.push_back("unexpected byte " + std::to_string(*introducer) + " at " + offsetText(blockOffset)
                + "; the rest of the file is ignored");
            sawTrailer = true;
            break;
        }
    }

    if (truncated) {
        if (info.images.empty())
            return makeError(Error::Kind::Truncated,
                "truncated before the first image (file ends at " + offsetText(data.size()) + ")");
        info.warnings.push_back("file ends at " + offsetText(data.size()) + " without a trailer");
    }
    return info;
}

} // namespace frolix::gif
