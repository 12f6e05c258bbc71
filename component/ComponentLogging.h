#pragma once
// The component's diagnostics. Warnings print by default; the rest is turned on with
// QT_LOGGING_RULES, e.g. "frolix.*=true" for everything.

#include <QLoggingCategory>

namespace frolix {

Q_DECLARE_LOGGING_CATEGORY(logComponent) // frolix.component: loading and playing animations

} // namespace frolix
