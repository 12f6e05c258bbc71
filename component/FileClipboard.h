#pragma once
// What the clipboard carries for a copied file, beyond its URL: the list GNOME-family
// file managers paste from, and the path as text for a text field.

class QMimeData;

namespace frolix {

// Adds both to `data`, which holds the copied files' URLs.
void addCopiedFileFormats(QMimeData& data);

} // namespace frolix
