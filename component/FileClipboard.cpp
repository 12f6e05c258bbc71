#include "FileClipboard.h"

#include <QMimeData>
#include <QStringList>
#include <QUrl>

namespace frolix {

void addCopiedFileFormats(QMimeData& data)
{
    QByteArray copied = "copy";
    QStringList paths;
    for (const QUrl& url : data.urls()) {
        copied += '\n' + url.toEncoded(); // the name's bytes stay percent-encoded
        paths << url.toLocalFile();
    }
    data.setData(QStringLiteral("x-special/gnome-copied-files"), copied);
    data.setText(paths.join(QLatin1Char('\n')));
}

} // namespace frolix
