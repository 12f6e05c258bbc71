// frolix-viewer: opens the one window and runs until it is closed.

#include "FontWarmUp.h"
#include "Form1.h"
#include "Logging.h"

#include <QApplication>
#include <QIcon>

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
    // Every line says which program and which area it comes from (QT_MESSAGE_PATTERN wins).
    qSetMessagePattern(QStringLiteral("frolix-viewer: %{if-category}%{category}: %{endif}%{message}"));
    if (!displayAvailable()) {
        qCCritical(frolix::logWindow,
            "no display found (DISPLAY and WAYLAND_DISPLAY are unset); start it on a desktop or under xvfb-run");
        return 2;
    }
    FontWarmUp fonts;
    QApplication app(argc, argv);
    // The title message boxes show when they have none of their own.
    QApplication::setApplicationName(QStringLiteral("Frolix viewer"));
    QApplication::setApplicationVersion(QStringLiteral(FROLIX_VERSION_TEXT));
    // The installed theme icon has every size; the one compiled in serves a build tree.
    QApplication::setWindowIcon(
        QIcon::fromTheme(QStringLiteral("frolix-viewer"), QIcon(QStringLiteral(":/assets/frolix.ico"))));
    QApplication::setDesktopFileName(QStringLiteral("frolix-viewer"));

    fonts.finish();
    Form1 window;
    window.show();
    return app.exec();
}
