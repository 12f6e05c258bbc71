#include "ComponentState.h"

#include "Frolix.h"

#include <QFile>

#include <cstdio>

void initialiseFromStoredState(frolix::Frolix& component)
{
    // 7920 x 3705 twips at 15 twips per pixel.
    component.setDesignedSize(QSize(528, 247));
    QFile logo(QStringLiteral(":/assets/logo.gif"));
    if (!logo.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "frolix-viewer: the stored animation is missing\n");
        return;
    }
    QByteArray bytes = logo.readAll();
    if (!component.showAnimation(std::vector<std::uint8_t>(bytes.begin(), bytes.end())))
        std::fprintf(stderr, "frolix-viewer: the stored animation cannot be shown: %s\n",
                     qPrintable(component.lastError()));
}
