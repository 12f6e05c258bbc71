#pragma once
// Shared by the window and component tests: a clock moved by hand, a small GIF writer,
// and a helper that answers the message boxes the procedures open.

#include "Player.h"

#include <QAbstractButton>
#include <QApplication>
#include <QByteArray>
#include <QMessageBox>
#include <QRgb>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <fcntl.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace wtest {

class FakeClock final : public frolix::Clock {
public:
    frolix::Milliseconds now() const override { return m_now; }
    void advance(int ms) { m_now += frolix::Milliseconds(ms); }

private:
    frolix::Milliseconds m_now { 1'000'000 };
};

struct GifFrame {
    std::vector<std::uint8_t> pixels; // palette indexes, row by row, screen-sized
    std::uint16_t delayCs = 2;
    int transparentIndex = -1;
    int disposal = 1; // keep
};

// A GIF whose image data is literal codes only: a clear code every 2^min - 2 codes keeps
// the decoder's table from growing past the starting code width.
inline QByteArray makeGif(int width, int height, std::vector<QRgb> palette, const std::vector<GifFrame>& frames,
                          bool loopForever = true)
{
    QByteArray out("GIF89a");
    auto u16 = [&](unsigned value) { out.append(char(value & 0xFF)).append(char(value >> 8)); };
    unsigned bits = 1;
    while ((1u << bits) < palette.size())
        ++bits;
    palette.resize(std::size_t(1) << bits, qRgb(0, 0, 0));
    u16(unsigned(width));
    u16(unsigned(height));
    out.append(char(0xF0 | (bits - 1))).append(2, char(0));
    for (QRgb colour : palette)
        out.append(char(qRed(colour))).append(char(qGreen(colour))).append(char(qBlue(colour)));
    if (loopForever)
        out.append("\x21\xFF\x0B" "NETSCAPE2.0" "\x03\x01\x00\x00\x00", 19);
    const unsigned minCode = bits < 2 ? 2 : bits, clear = 1u << minCode, codeWidth = minCode + 1;
    for (const GifFrame& frame : frames) {
        out.append("\x21\xF9\x04", 3).append(char((frame.disposal << 2) | (frame.transparentIndex >= 0 ? 1 : 0)));
        u16(frame.delayCs);
        out.append(char(frame.transparentIndex >= 0 ? frame.transparentIndex : 0)).append(char(0)).append(char(0x2C));
        for (unsigned value : { 0u, 0u, unsigned(width), unsigned(height) })
            u16(value);
        out.append(char(0)).append(char(minCode));
        QByteArray data;
        std::uint32_t bitBuffer = 0, bitCount = 0;
        auto put = [&](unsigned code) {
            for (bitBuffer |= std::uint32_t(code) << bitCount, bitCount += codeWidth; bitCount >= 8; bitCount -= 8, bitBuffer >>= 8)
                data.append(char(bitBuffer & 0xFF));
        };
        for (std::size_t i = 0; i < frame.pixels.size(); ++i) {
            if (i % (clear - 2) == 0)
                put(clear);
            put(frame.pixels[i]);
        }
        put(clear + 1);
        if (bitCount > 0)
            data.append(char(bitBuffer & 0xFF));
        for (qsizetype at = 0; at < data.size(); at += 255)
            out.append(char(std::min<qsizetype>(255, data.size() - at))).append(data.mid(at, 255));
        out.append(char(0));
    }
    return out.append(char(0x3B));
}

// `count` frames of 2 x 2, each one colour, 20 ms apart, looping forever.
inline QByteArray numberedGif(int count)
{
    std::vector<QRgb> palette;
    std::vector<GifFrame> frames;
    for (int i = 0; i < count; ++i) {
        palette.push_back(qRgb(10 * i, 255 - 10 * i, 100));
        frames.push_back({ std::vector<std::uint8_t>(4, std::uint8_t(i)) });
    }
    return makeGif(2, 2, palette, frames);
}

// Writes `bytes` to a path given as raw bytes, so names that are not UTF-8 can be made.
inline bool writeRawPath(const std::string& path, const QByteArray& bytes)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    bool ok = ::write(fd, bytes.constData(), std::size_t(bytes.size())) == bytes.size();
    return ::close(fd) == 0 && ok;
}

// Answers the message boxes the code under test opens while it runs, pressing OK. It
// polls from inside the box's own event loop, so nothing is left blocking, and it
// records what it saw so a test can check the box and that no box appeared.
class ModalAnswerer : public QObject {
public:
    struct Seen {
        QString text;
        QString title;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        int buttonCount = 0;
        bool wasMessageBox = false;
    };

    ModalAnswerer()
    {
        connect(&m_poll, &QTimer::timeout, this, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (!box) {
                if (modal) {
                    m_seen.push_back({});
                    modal->close();
                }
                return;
            }
            m_seen.push_back({ box->text(), box->windowTitle(), box->icon(), box->standardButtons(),
                               int(box->buttons().size()), true });
            if (QAbstractButton* ok = box->button(QMessageBox::Ok))
                ok->click();
            else
                box->reject();
        });
        m_poll.start(0);
    }
    const std::vector<Seen>& seen() const { return m_seen; }

private:
    QTimer m_poll;
    std::vector<Seen> m_seen;
};

} // namespace wtest
