#pragma once
// File names on this system are bytes, usually but not always UTF-8. Text in the
// window is QString. Bytes that are not valid UTF-8 are carried through QString as lone
// surrogates U+DC80..U+DCFF, so every name survives the round trip and the file opened
// is the file listed.

#include <QString>

#include <string>
#include <string_view>

namespace frolix {

QString pathTextFromBytes(std::string_view bytes);
std::string pathBytesFromText(const QString& text);
// For showing a name: escaped bytes become U+FFFD.
QString displayName(const QString& pathText);

} // namespace frolix
