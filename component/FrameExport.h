#pragma once
// Writes frames as PNG files off the window's thread: one picture already in memory
// (savePng), or every frame of a GIF file, decoded by the engine from the file itself,
// with a table of their timing and placement (exportFrames). It answers on its own
// thread with queued calls, so the thread that asks never waits on a file system.
//
// Every file is written under a temporary name in its folder and renamed when whole, so
// a cancelled or failed job never leaves a file under a final name that is not whole.
// Files already there under the names written are replaced. The first write that fails
// ends the job, with the file's name and the cause.
//
// One job at a time; it runs on a thread of its own that owns everything it touches, so
// destroying this object never waits for it (a read from a share that stops answering
// may hold it): the job is told to stop and its answers are dropped.

#include <QImage>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace frolix {

class FrameExport : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY(FrameExport)
public:
    enum class Outcome { Written, Canceled, Failed };
    Q_ENUM(Outcome)

    explicit FrameExport(QObject* parent = nullptr);
    ~FrameExport() override;

    // Writes `picture` to `path` as a PNG with its transparency.
    void savePng(QImage picture, const QString& path);
    // Writes frame-0001.png, ... (four digits or as many as the count needs) and
    // frames.csv into `folder` for the GIF at `gifPath` (as the window spells it,
    // NativePath.h).
    void exportFrames(const QString& gifPath, const QString& folder);
    // Ends the job after the file it is writing, whose temporary file is removed.
    void cancel();
    bool busy() const { return m_shared != nullptr; }

    // The name frame `number` of `frameCount` is exported under.
    static QString frameFileName(int number, int frameCount);

signals:
    // `done` of `total` files written (the table included).
    void progress(int done, int total);
    // The job's end; for Failed, `message` names the file and the cause.
    void finished(frolix::FrameExport::Outcome outcome, const QString& message);

private:
    struct Shared;
    void start(std::function<void(Shared&)> job);
    void abandon();
    void answer(Outcome outcome, const QString& message);

    std::shared_ptr<Shared> m_shared; // with the running job; null when none runs
};

} // namespace frolix
