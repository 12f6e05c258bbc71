#pragma once
// Shared by the window and component tests: the window's controls found by name, a
// small GIF of screen-sized frames, and a helper that answers the message boxes the
// procedures open.

#include "FileSystemLists.h"
#include "Frolix.h"
#include "GifBuilder.h"
#include "ManualClock.h"

#include <QAbstractButton>
#include <QApplication>
#include <QByteArray>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QRgb>
#include <QSignalSpy>
#include <QString>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

// The window's and the component's names, as the tests use them throughout.
using namespace frolix;

namespace wtest {

using FakeClock = frolix::test::ManualClock;

// The window's controls, found by their designed names as a user finds them by sight.
struct FormControls {
    explicit FormControls(QWidget& form)
        : form(form)
    {
    }
    template <typename T> T* find(const char* name) const
    {
        auto* child = form.findChild<T*>(QString::fromLatin1(name));
        if (!child)
            qFatal("the window has no %s of the expected class", name);
        return child;
    }
    QWidget& form;
    DriveListBox* Drive1 = find<DriveListBox>("Drive1");
    DirListBox* Dir1 = find<DirListBox>("Dir1");
    FileListBox* File1 = find<FileListBox>("File1");
    frolix::Frolix* Frolix1 = find<frolix::Frolix>("Frolix1");
    QLabel* Label1 = find<QLabel>("Label1");
    QLabel* lblFrame = find<QLabel>("lblFrame");
    QPushButton* cmdPlay = find<QPushButton>("cmdPlay");
    QPushButton* cmdStop = find<QPushButton>("cmdStop");
    QCheckBox* Check1 = find<QCheckBox>("Check1");
    QCheckBox* Check2 = find<QCheckBox>("Check2");
};

struct GifFrame {
    std::vector<std::uint8_t> pixels; // palette indexes, row by row, screen-sized
    std::uint16_t delayCs = 2;
    int transparentIndex = -1;
    int disposal = 1; // keep
};

// A GIF of screen-sized frames, written by the engine tests' GIF writer, with a stored
// loop count (0: forever; none: played once).
inline QByteArray makeGif(int width, int height, const std::vector<QRgb>& palette, const std::vector<GifFrame>& frames,
    std::optional<std::uint16_t> loop = 0)
{
    std::vector<frolix::test::Rgb> colours;
    for (QRgb colour : palette)
        colours.push_back({ std::uint8_t(qRed(colour)), std::uint8_t(qGreen(colour)), std::uint8_t(qBlue(colour)) });
    frolix::test::GifBuilder gif(std::uint16_t(width), std::uint16_t(height), colours);
    if (loop)
        gif.loop(*loop);
    for (const GifFrame& frame : frames) {
        auto transparent
            = frame.transparentIndex >= 0 ? std::optional(std::uint8_t(frame.transparentIndex)) : std::nullopt;
        gif.control({ .delayCs = frame.delayCs, .disposal = unsigned(frame.disposal), .transparent = transparent });
        gif.image({ .width = std::uint16_t(width), .height = std::uint16_t(height), .indices = frame.pixels });
    }
    const frolix::test::Bytes bytes = gif.bytes();
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

// `count` frames of `side` x `side` (2 x 2), each one colour, with a stored delay (2: 20
// ms), looping forever unless told.
inline QByteArray numberedGif(int count, std::uint16_t delayCs = 2, std::optional<std::uint16_t> loop = 0, int side = 2)
{
    std::vector<QRgb> palette;
    std::vector<GifFrame> frames;
    for (int i = 0; i < count; ++i) {
        palette.push_back(qRgb(10 * i, 255 - 10 * i, 100));
        frames.push_back({ std::vector<std::uint8_t>(std::size_t(side) * side, std::uint8_t(i)), delayCs });
    }
    return makeGif(side, side, palette, frames, loop);
}

// Loads `path` and waits for the load to end: -1 loaded, 0 refused, 1 when it did not
// end within ten seconds.
inline std::int32_t loadFile(frolix::FrolixControl& component, const QString& path)
{
    QSignalSpy loaded(&component, &frolix::FrolixControl::Loaded);
    component.LoadFile(path);
    if (!loaded.wait(10000))
        return 1;
    return loaded.front().front().value<std::int32_t>();
}

// What a file system list's rows stand for, and the row of one of them.
inline QStringList listedNames(const QListWidget& list)
{
    QStringList names;
    for (int row = 0; row < list.count(); ++row)
        names << list.item(row)->data(Qt::UserRole).toString();
    return names;
}
inline int rowOf(const QListWidget& list, const QString& name) { return int(listedNames(list).indexOf(name)); }
// Whether a list waits for the file system to answer.
inline bool asking(const QWidget* list)
{
    if (auto* drives = qobject_cast<const DriveListBox*>(list))
        return drives->probing();
    if (auto* folders = qobject_cast<const DirListBox*>(list))
        return folders->waiting();
    if (auto* files = qobject_cast<const FileListBox*>(list))
        return files->waiting();
    return false;
}
// Handles events until the lists have had every answer they asked for (the lists ask on
// and on as one answer leads to the next question, so none is missed between two).
inline bool answered(std::initializer_list<const QWidget*> lists, int timeout = 5000)
{
    return QTest::qWaitFor(
        [&] { return std::none_of(lists.begin(), lists.end(), [](const QWidget* list) { return asking(list); }); },
        timeout);
}
inline bool answered(const FormControls& ui, int timeout = 5000)
{
    return answered({ ui.Drive1, ui.Dir1, ui.File1 }, timeout);
}

// Selects the row standing for `name` as a person does: a click on it, and waits for the
// list to have its answer about it.
inline void pick(QListWidget& list, const QString& name)
{
    if (QListWidgetItem* item = list.item(rowOf(list, name))) {
        list.scrollToItem(item);
        QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, list.visualItemRect(item).center());
        answered({ &list });
    }
}

// Picks `name` and waits for the load that starts to end; false if none ended within
// ten seconds.
inline bool pickAndWait(QListWidget& list, const QString& name, frolix::FrolixControl& component)
{
    QSignalSpy loaded(&component, &frolix::FrolixControl::Loaded);
    pick(list, name);
    return !loaded.isEmpty() || loaded.wait(10000); // it may end while the list answers
}

// Writes `bytes` to a path given as raw bytes, so names that are not UTF-8 can be made.
inline bool writeRawPath(const std::string& path, const QByteArray& bytes)
{
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    return bool(file.write(bytes.constData(), bytes.size()).flush());
}

// Answers the message boxes the code under test opens while it runs, pressing OK. It
// polls from inside the box's own event loop, so nothing is left blocking, and it
// records what it saw so a test can check the box and that no box appeared.
// The longest the window's event loop went without turning while it was watched.
class LoopWatch {
public:
    LoopWatch()
    {
        m_ticks.callOnTimeout([this] { m_longest = std::max(m_longest, m_since.restart()); });
        m_since.start();
        m_ticks.start(10);
    }
    qint64 longestGap() const { return std::max(m_longest, m_since.elapsed()); }
    // Whether it kept turning. A wait on a file system here lasts seconds (the shares the
    // tests hang, the slow file); a busy machine's scheduler alone has stalled it 108 ms.
    bool keptTurning() const { return longestGap() < 250; }
    QByteArray report() const { return "the window waited " + QByteArray::number(longestGap()) + " ms"; }

private:
    QElapsedTimer m_since;
    qint64 m_longest = 0;
    QTimer m_ticks;
};

class ModalAnswerer : public QObject {
public:
    struct Seen {
        QString text;
        QString title;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QMessageBox::StandardButtons buttons;
        int buttonCount = 0;
        bool wasMessageBox = false;
        int width = 0;
    };

    ModalAnswerer()
    {
        connect(&m_poll, &QTimer::timeout, this, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (!box) {
                if (modal) {
                    m_seen.push_back({});
                    modal->close();
                }
                return;
            }
            m_seen.push_back({ box->text(), box->windowTitle(), box->icon(), box->standardButtons(),
                int(box->buttons().size()), true, box->width() });
            if (QAbstractButton* ok = box->button(QMessageBox::Ok))
                ok->click();
            else
                box->reject();
        });
        m_poll.start(0);
    }
    const std::vector<Seen>& seen() const { return m_seen; }

private:
    QTimer m_poll;
    std::vector<Seen> m_seen;
};

} // namespace wtest
