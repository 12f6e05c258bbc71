// make-play-gifs OUTDIR: writes the animations the playing benchmarks run on.
//   anim-800x600.gif     800 x 600, 100 frames of 4/100 s, 256 colours: shaded shapes
//                        moving over a drifting gradient, most pixels change each frame
//   frames-1000.gif      1000 x 1000, 1000 frames of 2/100 s: a full first frame, then
//                        a 120 x 120 patch per frame at a moving place
// Deterministic (no clock, no random seed from outside), with its own LZW writer so the
// files do not depend on any GIF library.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

void put16(Bytes& out, int v)
{
    out.push_back(std::uint8_t(v & 0xFF));
    out.push_back(std::uint8_t((v >> 8) & 0xFF));
}

// Variable-width LZW as GIF wants it, 8-bit symbols, clearing when the table is full.
class LzwWriter {
public:
    explicit LzwWriter(Bytes& out)
        : m_out(out)
    {
    }

    void encode(const std::uint8_t* pixels, std::size_t count)
    {
        m_out.push_back(8); // minimum code size
        reset();
        emit(kClear);
        int prefix = -1;
        for (std::size_t i = 0; i < count; ++i) {
            int c = pixels[i];
            if (prefix < 0) {
                prefix = c;
                continue;
            }
            int found = find(prefix, c);
            if (found >= 0) {
                prefix = found;
                continue;
            }
            emit(prefix);
            if (m_next < 4096) {
                insert(prefix, c, m_next);
                // The decoder widens one code later than the encoder adds the entry.
                if (m_next == (1 << m_width) && m_width < 12)
                    ++m_width;
                ++m_next;
            } else {
                emit(kClear);
                reset();
            }
            prefix = c;
        }
        if (prefix >= 0)
            emit(prefix);
        emit(kEnd);
        if (m_bitCount > 0)
            m_block.push_back(std::uint8_t(m_bits & 0xFF));
        flushBlocks(true);
    }

private:
    static constexpr int kClear = 256, kEnd = 257, kSlots = 1 << 14;

    void reset()
    {
        std::memset(m_keys, 0xFF, sizeof m_keys);
        m_next = 258;
        m_width = 9;
    }
    int find(int prefix, int c) const
    {
        std::uint32_t key = std::uint32_t(prefix) << 8 | std::uint32_t(c);
        for (std::uint32_t h = hash(key);; h = (h + 1) & (kSlots - 1)) {
            if (m_keys[h] == 0xFFFFFFFFu)
                return -1;
            if (m_keys[h] == key)
                return m_codes[h];
        }
    }
    void insert(int prefix, int c, int code)
    {
        std::uint32_t key = std::uint32_t(prefix) << 8 | std::uint32_t(c);
        std::uint32_t h = hash(key);
        while (m_keys[h] != 0xFFFFFFFFu)
            h = (h + 1) & (kSlots - 1);
        m_keys[h] = key;
        m_codes[h] = std::uint16_t(code);
    }
    static std::uint32_t hash(std::uint32_t key) { return (key * 2654435761u) >> (32 - 14); }

    void emit(int code)
    {
        m_bits |= std::uint32_t(code) << m_bitCount;
        m_bitCount += m_width;
        while (m_bitCount >= 8) {
            m_block.push_back(std::uint8_t(m_bits & 0xFF));
            m_bits >>= 8;
            m_bitCount -= 8;
        }
        flushBlocks(false);
    }
    void flushBlocks(bool all)
    {
        std::size_t at = 0;
        while (m_block.size() - at >= 255 || (all && m_block.size() > at)) {
            std::size_t n = std::min<std::size_t>(255, m_block.size() - at);
            m_out.push_back(std::uint8_t(n));
            m_out.insert(m_out.end(), m_block.begin() + long(at), m_block.begin() + long(at + n));
            at += n;
        }
        m_block.erase(m_block.begin(), m_block.begin() + long(at));
        if (all)
            m_out.push_back(0);
    }

    Bytes& m_out;
    Bytes m_block;
    std::uint32_t m_bits = 0;
    int m_bitCount = 0;
    int m_width = 9;
    int m_next = 258;
    std::uint32_t m_keys[kSlots];
    std::uint16_t m_codes[kSlots];
};

struct Rgb {
    std::uint8_t r, g, b;
};

// 192 gradient colours round a hue circle, then 8 shape colours in 8 shades each.
std::vector<Rgb> makePalette()
{
    std::vector<Rgb> palette;
    for (int i = 0; i < 192; ++i) {
        double t = i / 192.0 * 2 * M_PI;
        palette.push_back({ std::uint8_t(128 + 90 * std::sin(t)), std::uint8_t(128 + 90 * std::sin(t + 2.1)),
            std::uint8_t(128 + 90 * std::sin(t + 4.2)) });
    }
    const Rgb base[8] = { { 230, 40, 40 }, { 40, 200, 60 }, { 40, 80, 230 }, { 240, 220, 40 }, { 220, 60, 220 },
        { 40, 220, 220 }, { 250, 250, 250 }, { 30, 30, 30 } };
    for (const Rgb& b : base)
        for (int s = 0; s < 8; ++s) {
            double k = 0.45 + 0.55 * s / 7.0;
            palette.push_back({ std::uint8_t(b.r * k), std::uint8_t(b.g * k), std::uint8_t(b.b * k) });
        }
    return palette;
}

void header(Bytes& out, int width, int height, const std::vector<Rgb>& palette)
{
    const char* sig = "GIF89a";
    out.insert(out.end(), sig, sig + 6);
    put16(out, width);
    put16(out, height);
    out.push_back(0xF7); // global table of 256 entries
    out.push_back(0);
    out.push_back(0);
    for (const Rgb& c : palette) {
        out.push_back(c.r);
        out.push_back(c.g);
        out.push_back(c.b);
    }
    // Loop forever.
    const std::uint8_t loop[]
        = { 0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1, 0, 0, 0 };
    out.insert(out.end(), loop, loop + sizeof loop);
}

void image(Bytes& out, int x, int y, int w, int h, int delayCs, const std::vector<std::uint8_t>& indices)
{
    const std::uint8_t gce[]
        = { 0x21, 0xF9, 4, 0x04 /* leave in place */, std::uint8_t(delayCs & 0xFF), std::uint8_t(delayCs >> 8), 0, 0 };
    out.insert(out.end(), gce, gce + sizeof gce);
    out.push_back(0x2C);
    put16(out, x);
    put16(out, y);
    put16(out, w);
    put16(out, h);
    out.push_back(0);
    LzwWriter lzw(out);
    lzw.encode(indices.data(), indices.size());
}

// Paints one frame of the scene into `canvas` (palette indices), over rows and columns
// [x0, x0 + w) x [y0, y0 + h) of a `width` x `height` picture.
void scene(
    std::vector<std::uint8_t>& canvas, int width, int height, int x0, int y0, int w, int h, int frame, int shapes)
{
    for (int y = y0; y < y0 + h; ++y)
        for (int x = x0; x < x0 + w; ++x) {
            // A gradient drifting 3 pixels a frame along its diagonal, with a slow ripple.
            double v = (x + 0.6 * y) / 4.0 + 12 * std::sin(y / 37.0 + frame * 0.07) + frame * 0.75;
            canvas[std::size_t(y) * width + x] = std::uint8_t(((int(std::floor(v)) % 192) + 192) % 192);
        }
    for (int s = 0; s < shapes; ++s) {
        double cx = width * 0.5 + width * 0.38 * std::sin(frame * 0.045 * (1 + s % 3) + s * 1.3);
        double cy = height * 0.5 + height * 0.36 * std::cos(frame * 0.06 * (1 + s % 2) + s * 0.7);
        double r = 40 + 18 * (s % 4) + 10 * std::sin(frame * 0.1 + s);
        int colour = s % 8;
        for (int y = std::max(y0, int(cy - r)); y < std::min(y0 + h, int(cy + r) + 1); ++y)
            for (int x = std::max(x0, int(cx - r)); x < std::min(x0 + w, int(cx + r) + 1); ++x) {
                double dx = (x - cx) / r, dy = (y - cy) / r;
                double d2 = dx * dx + dy * dy;
                bool inside = (s % 2 == 0) ? d2 <= 1.0 : std::max(std::fabs(dx), std::fabs(dy)) <= 0.8;
                if (!inside)
                    continue;
                // Shaded towards a light from the top-left.
                double light = 1.0 - 0.5 * ((dx + 0.4) * (dx + 0.4) + (dy + 0.4) * (dy + 0.4));
                int shade = std::clamp(int(light * 8), 0, 7);
                canvas[std::size_t(y) * width + x] = std::uint8_t(192 + colour * 8 + shade);
            }
    }
}

bool save(const std::string& path, const Bytes& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-play-gifs OUTDIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    const auto palette = makePalette();

    {
        const int w = 800, h = 600;
        Bytes out;
        header(out, w, h, palette);
        std::vector<std::uint8_t> canvas(std::size_t(w) * h);
        for (int f = 0; f < 100; ++f) {
            scene(canvas, w, h, 0, 0, w, h, f, 9);
            image(out, 0, 0, w, h, 4, canvas);
        }
        out.push_back(0x3B);
        if (!save(dir + "/anim-800x600.gif", out))
            return 1;
    }
    {
        const int w = 1000, h = 1000, patch = 120;
        Bytes out;
        header(out, w, h, palette);
        std::vector<std::uint8_t> canvas(std::size_t(w) * h);
        scene(canvas, w, h, 0, 0, w, h, 0, 12);
        image(out, 0, 0, w, h, 2, canvas);
        std::vector<std::uint8_t> rect(std::size_t(patch) * patch);
        for (int f = 1; f < 1000; ++f) {
            // The patch walks the picture in a Lissajous path and shows the scene's next frame there.
            int px = int((w - patch) * (0.5 + 0.5 * std::sin(f * 0.031)));
            int py = int((h - patch) * (0.5 + 0.5 * std::sin(f * 0.047 + 1.0)));
            scene(canvas, w, h, px, py, patch, patch, f, 12);
            for (int y = 0; y < patch; ++y)
                std::memcpy(&rect[std::size_t(y) * patch], &canvas[std::size_t(py + y) * w + px], patch);
            image(out, px, py, patch, patch, 2, rect);
        }
        out.push_back(0x3B);
        if (!save(dir + "/frames-1000.gif", out))
            return 1;
    }
    return 0;
}
