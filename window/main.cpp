// frolix-viewer: opens the one window and runs until it is closed.

#include "CommandLine.h"
#include "Form1.h"
#include "NativePath.h"
#include "WindowLogging.h"

#include <QApplication>
#include <QIcon>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <unistd.h>
#include <vector>

namespace {

// Qt answers a display it cannot reach with two warnings and an abort meant for a broken
// installation. While QApplication connects, messages are held back: if it fails, one
// line names the display and the program ends with status 2, as with no display at all;
// if it connects, they are passed on. A message handler is a plain function, so what it
// holds lives here, for the connection only.
struct HeldMessages {
    QtMessageHandler previous = nullptr;
    std::vector<std::pair<QtMsgType, std::string>> held; // with its category, as printed
};
HeldMessages* g_connecting = nullptr;

void holdWhileConnecting(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type != QtFatalMsg) {
        const bool named = context.category && std::string_view(context.category) != "default";
        g_connecting->held.emplace_back(
            type, ((named ? QString::fromLatin1(context.category) + ": " : QString()) + message).toStdString());
        return;
    }
    qInstallMessageHandler(g_connecting->previous);
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    const QString name = display && *display ? QString::fromLocal8Bit(display)
        : wayland && *wayland                ? QString::fromLocal8Bit(wayland)
                                             : QString::fromLocal8Bit(std::getenv("QT_QPA_PLATFORM"));
    // Printed here: Qt does not format a message logged while it handles a fatal one.
    std::fprintf(stderr, "frolix-viewer: frolix.window: cannot open the display %s: no display server answers there\n",
        name.toLocal8Bit().constData());
    std::_Exit(2);
}

// The current folder as its bytes name it, for relative paths; empty if it has gone.
QString currentFolder()
{
    std::vector<char> buffer(4096);
    while (!::getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE)
            return QString();
        buffer.resize(buffer.size() * 2);
    }
    return frolix::pathTextFromBytes(buffer.data());
}

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
    // Answered before any display is looked for, so they work where there is none.
    const frolix::CommandLine line
        = frolix::parseCommandLine(std::vector<std::string>(argv, argv + argc), currentFolder());
    switch (line.action) {
    case frolix::CommandLine::Action::Help:
        std::fputs(line.usage.toLocal8Bit().constData(), stdout);
        return 0;
    case frolix::CommandLine::Action::Version:
        std::puts("frolix-viewer " FROLIX_VERSION_TEXT);
        return 0;
    case frolix::CommandLine::Action::Wrong:
        std::fprintf(stderr, "frolix-viewer: %s\n%s", line.error.toLocal8Bit().constData(),
            line.usage.toLocal8Bit().constData());
        return 2;
    case frolix::CommandLine::Action::Run:
        break;
    }
    if (!line.ignored.isEmpty())
        qCWarning(frolix::logWindow).noquote() << "only the first path is opened; ignored:" << line.ignored.join(' ');
    if (!displayAvailable()) {
        qCCritical(frolix::logWindow,
            "no display found (DISPLAY and WAYLAND_DISPLAY are unset); start it on a desktop or under xvfb-run");
        return 2;
    }
    HeldMessages connecting;
    g_connecting = &connecting;
    connecting.previous = qInstallMessageHandler(holdWhileConnecting);
    QApplication app(argc, argv);
    qInstallMessageHandler(connecting.previous);
    g_connecting = nullptr;
    for (const auto& [type, text] : connecting.held)
        qt_message_output(type, QMessageLogContext(), QString::fromStdString(text));
    // The title message boxes show when they have none of their own.
    QApplication::setApplicationName(QStringLiteral("Frolix viewer"));
    QApplication::setApplicationVersion(QStringLiteral(FROLIX_VERSION_TEXT));
    // The installed theme icon has every size; the one compiled in serves a build tree.
    QApplication::setWindowIcon(
        QIcon::fromTheme(QStringLiteral("frolix-viewer"), QIcon(QStringLiteral(":/assets/frolix.ico"))));
    QApplication::setDesktopFileName(QStringLiteral("frolix-viewer"));

    frolix::Form1 window;
    window.show();
    if (!line.path.isEmpty())
        window.openPath(line.path);
    return app.exec();
}
