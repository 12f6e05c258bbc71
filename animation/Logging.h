#pragma once

// The viewer's diagnostics, by area. Warnings print by default; the rest is turned on
// with QT_LOGGING_RULES, e.g. "frolix.*=true" for everything. Lives with the
// component (which has Qt) so the window reaches it too; the engine stays free of Qt.

#include <QLoggingCategory>

namespace frolix {

Q_DECLARE_LOGGING_CATEGORY(logWindow) // frolix.window: the window's procedures and start-up
Q_DECLARE_LOGGING_CATEGORY(logLists) // frolix.lists: drive, folder and file lists
Q_DECLARE_LOGGING_CATEGORY(logComponent) // frolix.component: loading and playing animations

} // namespace frolix
