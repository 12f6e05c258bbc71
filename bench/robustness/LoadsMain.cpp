// Loads good and bad files in turn through the real window (offscreen): the file list
// is pointed at a folder made here and its rows are selected one after the other, as a
// user clicking would. Every "Read Wrong" box is answered by a poller. Prints resident
// memory as it goes; run it under valgrind to look for leaks (bench/robustness/run.sh).
//
//   robust-loads LOGO.gif [LOADS]

#include "FileSystemLists.h"
#include "Form1.h"
#include "Frolix.h"

#include "WindowTestSupport.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

using namespace frolix;

namespace {

long statusKiB(const char* field)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return std::atol(line.c_str() + std::strlen(field));
    return -1;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s LOGO.gif [LOADS]\n", argv[0]);
        return 2;
    }
    const int loads = argc > 2 ? std::atoi(argv[2]) : 1000;
    QTemporaryDir folder;
    const QString root = QDir(folder.path()).canonicalPath();
    QFile::copy(QString::fromLocal8Bit(argv[1]), root + "/good.gif");
    {
        QFile bad(root + "/bad.gif");
        bad.open(QIODevice::WriteOnly);
        bad.write("GIF89a\x60\x00"); // a GIF that ends in its screen descriptor
    }

    Form1 form;
    form.show();
    auto* folders = form.findChild<DirListBox*>("Dir1");
    auto* files = form.findChild<FileListBox*>("File1");
    auto* frameCount = form.findChild<QLabel*>("lblFrame");
    auto* component = form.findChild<frolix::Frolix*>("Frolix1");
    wtest::ModalAnswerer answerer;
    folders->setPath(root);
    if (!wtest::answered({ folders, files }) || folders->Path() != root || files->count() != 2) {
        std::fprintf(stderr, "cannot list %s\n", qPrintable(root));
        return 1;
    }
    const int badRow = files->item(0)->text() == "bad.gif" ? 0 : 1;
    std::printf("RSS after start %ld KiB\n", statusKiB("VmRSS:"));
    int wrongLabel = 0;
    for (int load = 1; load <= loads; ++load) {
        const bool bad = load % 2 == 0;
        // Each load ends (and its box is answered) before the next click.
        if (!wtest::pickAndWait(
                *files, files->item(bad ? badRow : 1 - badRow)->data(Qt::UserRole).toString(), *component))
            ++wrongLabel;
        QApplication::processEvents(); // paints and the component's timer
        // The good file's frames stay shown after a bad one.
        if (frameCount->text() != QStringLiteral("%1 Frames").arg(component->FrameCount())
            || component->FrameCount() < 2)
            ++wrongLabel;
        if (load == 1 || load == 100 || load == 500 || load == loads)
            std::printf("after %4d loads: RSS %ld KiB, peak %ld KiB, %zu boxes answered\n", load, statusKiB("VmRSS:"),
                statusKiB("VmHWM:"), answerer.seen().size());
    }
    std::size_t readWrong = 0;
    for (const auto& box : answerer.seen())
        readWrong += box.text == QStringLiteral("Read Wrong");
    std::printf("%d loads, %zu boxes, %zu of them \"Read Wrong\", %d wrong frame labels\n", loads,
        answerer.seen().size(), readWrong, wrongLabel);
    return readWrong == std::size_t(loads / 2) && answerer.seen().size() == readWrong && wrongLabel == 0 ? 0 : 1;
}
