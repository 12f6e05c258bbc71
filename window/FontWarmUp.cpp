#include "FontWarmUp.h"

#include <fontconfig/fontconfig.h>

// Qt's font database calls FcInit itself; a configuration already loaded is taken as it is.
FontWarmUp::FontWarmUp()
    : m_thread([] { FcInit(); })
{
}
