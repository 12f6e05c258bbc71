#pragma once
// The window's diagnostics, by area. Warnings print by default; the rest is turned on
// with QT_LOGGING_RULES, e.g. "frolix.*=true" for everything.

#include <QLoggingCategory>

namespace frolix {

Q_DECLARE_LOGGING_CATEGORY(logWindow) // frolix.window: the window's procedures and start-up
Q_DECLARE_LOGGING_CATEGORY(logLists) // frolix.lists: drive, folder and file lists

} // namespace frolix
