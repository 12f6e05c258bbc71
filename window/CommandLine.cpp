#include "CommandLine.h"

#include "NativePath.h"

#include <QByteArray>
#include <QCommandLineParser>
#include <QDir>

namespace frolix {

QString pathFromArgument(const std::string& argument, const QString& currentFolder)
{
    std::string bytes = argument;
    const std::string scheme = "file://";
    if (QByteArray::fromStdString(bytes.substr(0, scheme.size())).toLower().toStdString() == scheme) {
        // file:///path or file://localhost/path; the rest is percent-encoded bytes.
        const std::string rest = bytes.substr(scheme.size());
        const auto slash = rest.find('/');
        const std::string host = rest.substr(0, slash);
        if (slash == std::string::npos || (!host.empty() && host != "localhost"))
            return QString();
        bytes = QByteArray::fromPercentEncoding(QByteArray::fromStdString(rest.substr(slash))).toStdString();
    }
    const QString text = pathTextFromBytes(bytes);
    if (text.startsWith('/'))
        return QDir::cleanPath(text);
    return QDir::cleanPath(currentFolder + '/' + text);
}

CommandLine parseCommandLine(const std::vector<std::string>& arguments, const QString& currentFolder)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Plays an animated GIF in a window."));
    const QCommandLineOption help({ QStringLiteral("h"), QStringLiteral("help") }, QStringLiteral("Prints this help."));
    const QCommandLineOption version(
        { QStringLiteral("v"), QStringLiteral("version") }, QStringLiteral("Prints the version."));
    parser.addOption(help);
    parser.addOption(version);
    parser.addPositionalArgument(QStringLiteral("PATH"),
        QStringLiteral("A GIF file to open, or a folder to show; a path or a file:// URI."), QStringLiteral("[PATH]"));

    // Text for the parser; the paths themselves are taken from the bytes again below.
    QStringList texts { QStringLiteral("frolix-viewer") };
    for (std::size_t i = 1; i < arguments.size(); ++i)
        texts << pathTextFromBytes(arguments[i]);

    CommandLine line;
    // The program's own name, not its file's: no application object exists yet to give it.
    const QString text = parser.helpText();
    line.usage = QStringLiteral("Usage: frolix-viewer [options] [PATH]") + text.mid(text.indexOf('\n'));
    if (!parser.parse(texts)) {
        line.action = CommandLine::Action::Wrong;
        line.error = parser.errorText();
        return line;
    }
    if (parser.isSet(help)) {
        line.action = CommandLine::Action::Help;
        return line;
    }
    if (parser.isSet(version)) {
        line.action = CommandLine::Action::Version;
        return line;
    }
    const QStringList paths = parser.positionalArguments();
    if (paths.isEmpty())
        return line;
    line.path = pathFromArgument(pathBytesFromText(paths.front()), currentFolder);
    line.ignored = paths.mid(1);
    return line;
}

} // namespace frolix
