#pragma once
// The program's arguments, read before any display is opened: --help and --version are
// answered without one, and the path to open is made absolute without asking the file
// system (a relative path is taken against the current folder as text).

#include <QString>
#include <QStringList>

#include <string>
#include <vector>

namespace frolix {

struct CommandLine {
    enum class Action { Run, Help, Version, Wrong };
    Action action = Action::Run;
    QString path; // NativePath form, absolute; empty when none was given
    QStringList ignored; // further paths, as given
    QString usage; // the help text
    QString error; // why the arguments are wrong
};

// `arguments` are argv as bytes, the program's name first; `currentFolder` is the current
// folder in NativePath form.
CommandLine parseCommandLine(const std::vector<std::string>& arguments, const QString& currentFolder);

// An argument naming a file, in NativePath form: a file:// URI is percent-decoded to
// bytes; a relative path is joined to `currentFolder`. Empty for a URI of another host.
QString pathFromArgument(const std::string& argument, const QString& currentFolder);

} // namespace frolix
