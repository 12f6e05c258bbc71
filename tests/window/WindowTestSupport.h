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

// Writes codes LSB first.
class BitPacker {
public:
    void put(unsigned code, unsigned width)
    {
        m_bits |= std::uint32_t(code) << m_count;
        m_count += width;
        while (m_count >= 8) {
            m_out.push_back(char(m_bits & 0xFF));
            m_bits >>= 8;
            m_count -= 8;
        }
    }
    QByteArray finish()
    {
        if (m_count > 0)
            m_out.push_back(char(m_bits & 0xFF));
        return m_out;
    }

private:
    QByteArray m_out;
    std::uint32_t m_bits = 0;
    unsigned m_count = 0;
};

inline void putU16(QByteArray& out, unsigned value)
{
    out.push_back(char(value & 0xFF));
    out.push_back(char((value >> 8) & 0xFF));
}

// A GIF whose image data is literal codes only: a clear code every 2^min - 2 codes keeps
// the decoder's table from growing past the starting code width.
inline QByteArray makeGif(int width, int height, std::vector<QRgb> palette, const std::vector<GifFrame>& frames,
                          bool loopForever = true)
{
    unsigned bits = 1;
    while ((1u << bits) < palette.size())
        ++bits;
    palette.resize(std::size_t(1) << bits, qRgb(0, 0, 0));
    QByteArray out("GIF89a");
    putU16(out, unsigned(width));
    putU16(out, unsigned(height));
    out.push_back(char(0x80 | 0x70 | (bits - 1)));
    out.push_back(char(0));
    out.push_back(char(0));
    for (QRgb colour : palette) {
        out.push_back(char(qRed(colour)));
        out.push_back(char(qGreen(colour)));
        out.push_back(char(qBlue(colour)));
    }
    if (loopForever) {
        out.append("\x21\xFF\x0B" "NETSCAPE2.0" "\x03\x01", 16);
        putU16(out, 0);
        out.push_back(char(0));
    }
    const unsigned minCode = bits < 2 ? 2 : bits;
    for (const GifFrame& frame : frames) {
        out.append("\x21\xF9\x04", 3);
        out.push_back(char((frame.disposal << 2) | (frame.transparentIndex >= 0 ? 1 : 0)));
        putU16(out, frame.delayCs);
        out.push_back(char(frame.transparentIndex >= 0 ? frame.transparentIndex : 0));
        out.push_back(char(0));
        out.push_back(char(0x2C));
        putU16(out, 0);
        putU16(out, 0);
        putU16(out, unsigned(width));
        putU16(out, unsigned(height));
        out.push_back(char(0));
        out.push_back(char(minCode));
        const unsigned clear = 1u << minCode;
        const unsigned codeWidth = minCode + 1;
        const unsigned run = clear - 2;
        BitPacker packer;
        for (std::size_t i = 0; i < frame.pixels.size(); ++i) {
            if (i % run == 0)
                packer.put(clear, codeWidth);
            packer.put(frame.pixels[i], codeWidth);
        }
        packer.put(clear + 1, codeWidth);
        QByteArray data = packer.finish();
        for (qsizetype at = 0; at < data.size(); at += 255) {
            QByteArray block = data.mid(at, 255);
            out.push_back(char(block.size()));
            out.append(block);
        }
        out.push_back(char(0));
    }
    out.push_back(char(0x3B));
    return out;
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
        connect(&m_poll, &QTimer::timeout, this, &ModalAnswerer::answer);
        m_poll.start(0);
    }
    const std::vector<Seen>& seen() const { return m_seen; }

private:
    void answer()
    {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal)
            return;
        Seen seen;
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            seen.wasMessageBox = true;
            seen.text = box->text();
            seen.title = box->windowTitle();
            seen.icon = box->icon();
            seen.buttons = box->standardButtons();
            seen.buttonCount = int(box->buttons().size());
            m_seen.push_back(seen);
            if (QAbstractButton* ok = box->button(QMessageBox::Ok))
                ok->click();
            else
                box->reject();
            return;
        }
        m_seen.push_back(seen);
        modal->close();
    }

    QTimer m_poll;
    std::vector<Seen> m_seen;
};

} // namespace wtest
