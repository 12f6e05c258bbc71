// frolix-viewer: opens the one window and runs until it is closed.

#include "FontWarmUp.h"
#include "Form1.h"

#include <QApplication>
#include <QIcon>

#include <cstdio>
#include <cstdlib>

namespace {

bool displayAvailable()
{
    auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value && *value;
    };
    // An explicit platform (offscreen, vnc, ...) needs no display of ours.
    return set("QT_QPA_PLATFORM") || set("DISPLAY") || set("WAYLAND_DISPLAY");
}

} // namespace

int main(int argc, char** argv)
{
    if (!displayAvailable()) {
        std::fprintf(stderr,
            "frolix-viewer: no display found (DISPLAY and WAYLAND_DISPLAY are unset); start it on a "
            "desktop or under xvfb-run\n");
        return 2;
    }
    FontWarmUp fonts;
    QApplication app(argc, argv);
    // The title message boxes show when they have none of their own.
    QApplication::setApplicationName(QStringLiteral("Frolix viewer"));
    QApplication::setApplicationVersion(QStringLiteral(FROLIX_VERSION_TEXT));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/assets/frolix.ico")));
    QApplication::setDesktopFileName(QStringLiteral("frolix-viewer"));

    fonts.finish();
    Form1 window;
    window.show();
    return app.exec();
}
