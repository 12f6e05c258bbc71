#pragma once
// The pictures beside drives and folders in the lists, drawn here. Asking the style for
// its standard ones searches the icon themes on disk, which cost a fifth of the
// window's start-up for three small pictures.

#include <QIcon>

namespace frolix {

namespace list_icons {

QIcon closedFolder();
QIcon openFolder();
QIcon drive();

} // namespace list_icons

} // namespace frolix
