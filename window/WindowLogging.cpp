#include "WindowLogging.h"

namespace frolix {

Q_LOGGING_CATEGORY(logWindow, "frolix.window", QtWarningMsg)
Q_LOGGING_CATEGORY(logLists, "frolix.lists", QtWarningMsg)

} // namespace frolix
