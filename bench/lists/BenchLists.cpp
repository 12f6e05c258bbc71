// How long the folder and file lists take to show a folder of 20,000 entries, the
// time the window is busy after a click on such a folder.

#include "FileSystemLists.h"

#include <QApplication>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace frolix;

namespace {

// 20,000 entries: GIFs, other files and folders in the proportions of a download folder.
QString bigFolder()
{
    static QTemporaryDir dir;
    static bool made = false;
    if (!made) {
        for (int i = 0; i < 20000; ++i) {
            QString name = i % 10 == 0 ? QStringLiteral("folder %1").arg(i)
                : i % 3 == 0           ? QStringLiteral("picture %1.GIF").arg(i)
                                       : QStringLiteral("file %1.gif").arg(i);
            QByteArray path = QFile::encodeName(dir.path() + '/' + name);
            if (i % 10 == 0) {
                ::mkdir(path.constData(), 0755);
            } else {
                int fd = ::open(path.constData(), O_CREAT | O_WRONLY, 0644);
                ::close(fd);
            }
        }
        made = true;
    }
    return dir.path();
}

void fileList(benchmark::State& state)
{
    FileListBox list;
    for (auto _ : state) {
        list.setFileName(bigFolder());
        benchmark::DoNotOptimize(list.count());
        list.setFileName(QStringLiteral("/"));
    }
    state.counters["entries"] = 20000;
}

void folderList(benchmark::State& state)
{
    DirListBox list;
    for (auto _ : state) {
        list.setPath(bigFolder());
        benchmark::DoNotOptimize(list.count());
        list.setPath(QStringLiteral("/"));
    }
}

} // namespace

BENCHMARK(fileList)->Name("lists/file-list/20000-entries")->Unit(benchmark::kMillisecond);
BENCHMARK(folderList)->Name("lists/folder-list/20000-entries")->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
