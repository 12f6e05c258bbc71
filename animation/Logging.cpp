#include "Logging.h"

namespace frolix {

Q_LOGGING_CATEGORY(logWindow, "frolix.window", QtWarningMsg)
Q_LOGGING_CATEGORY(logLists, "frolix.lists", QtWarningMsg)
Q_LOGGING_CATEGORY(logComponent, "frolix.component", QtWarningMsg)

} // namespace frolix
