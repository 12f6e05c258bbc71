#include "ComponentLogging.h"

namespace frolix {

Q_LOGGING_CATEGORY(logComponent, "frolix.component", QtWarningMsg)

} // namespace frolix
