#include "NativePath.h"

namespace frolix {

namespace {

// Length of the valid UTF-8 sequence at `at`, or 0.
std::size_t validSequenceLength(std::string_view bytes, std::size_t at)
{
    auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    unsigned char lead = byte(at);
    std::size_t length;
    char32_t minimum;
    if (lead < 0x80)
        return 1;
    if ((lead & 0xE0) == 0xC0) {
        length = 2;
        minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3;
        minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4;
        minimum = 0x10000;
    } else {
        return 0;
    }
    if (at + length > bytes.size())
        return 0;
    char32_t code = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(at + i) & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return length;
}

} // namespace

QString pathTextFromBytes(std::string_view bytes)
{
    QString text;
    text.reserve(qsizetype(bytes.size()));
    std::size_t at = 0;
    while (at < bytes.size()) {
        std::size_t length = validSequenceLength(bytes, at);
        if (length == 0) {
            text.append(QChar(char16_t(0xDC00 + static_cast<unsigned char>(bytes[at]))));
            ++at;
        } else {
            text.append(QString::fromUtf8(bytes.data() + at, qsizetype(length)));
            at += length;
        }
    }
    return text;
}

std::string pathBytesFromText(const QString& text)
{
    std::string bytes;
    bytes.reserve(std::size_t(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        char16_t unit = text[i].unicode();
        if (unit >= 0xDC80 && unit <= 0xDCFF && !(i > 0 && text[i - 1].isHighSurrogate())) {
            bytes.push_back(char(unit - 0xDC00));
            continue;
        }
        qsizetype length = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        bytes += text.mid(i, length).toStdString();
        i += length - 1;
    }
    return bytes;
}

QString displayName(const QString& pathText)
{
    QString shown = pathText;
    for (qsizetype i = 0; i < shown.size(); ++i) {
        char16_t unit = shown[i].unicode();
        if (unit >= 0xDC80 && unit <= 0xDCFF && !(i > 0 && shown[i - 1].isHighSurrogate()))
            shown[i] = QChar(char16_t(0xFFFD));
    }
    return shown;
}

} // namespace frolix
