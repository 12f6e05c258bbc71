#include "FrameExport.h"

#include "NativePath.h"
#include "OpenFile.h"
#include "Player.h"

#include <QBuffer>
#include <QDir>
#include <QImageWriter>
#include <QSaveFile>

#include <atomic>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace frolix {

// What the object shares with its job's thread, which may outlive it.
struct FrameExport::Shared : std::enable_shared_from_this<Shared> {
    std::mutex mutex;
    FrameExport* owner = nullptr; // null once the answers are not wanted
    std::atomic<bool> canceled { false };
    std::atomic<int> done { 0 };
    int total = 0; // set once, before the first progress is posted
    std::atomic<bool> progressPosted { false }; // one at a time, read when delivered

    void post(std::function<void(FrameExport&, Shared&)> call)
    {
        std::lock_guard lock(mutex);
        if (owner)
            QMetaObject::invokeMethod(
                owner, [owner = owner, call = std::move(call), self = shared_from_this()] { call(*owner, *self); },
                Qt::QueuedConnection);
    }
    void reached(int count)
    {
        done = count;
        if (progressPosted.exchange(true))
            return;
        post([](FrameExport& owner, Shared& shared) {
            shared.progressPosted = false;
            if (owner.m_shared.get() == &shared && !shared.canceled)
                emit owner.progress(shared.done, shared.total);
        });
    }
    void end(Outcome outcome, const QString& message)
    {
        post([outcome, message](FrameExport& owner, Shared& shared) {
            if (owner.m_shared.get() == &shared)
                owner.answer(outcome, message);
        });
    }
};

namespace {
QString failure(const QString& path, const QString& cause)
{
    return QStringLiteral("Cannot write %1: %2").arg(QDir::toNativeSeparators(path), cause);
}

struct Written {
    FrameExport::Outcome outcome = FrameExport::Outcome::Written;
    QString message;
};

// Writes `content` under a temporary name in `path`'s folder and gives it `path` only
// when whole.
Written writeWhole(const QString& path, const QByteArray& content, const std::atomic<bool>& canceled)
{
    QSaveFile file(path);
    // Never written in place: a failure must not leave a file cut short under the name.
    file.setDirectWriteFallback(false);
    // Unbuffered: a write that fails when commit() flushes a buffer goes unreported, and
    // the file is renamed cut short. A short write is tried again, and the retry's
    // failure says why (no space, a size limit).
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        return { FrameExport::Outcome::Failed, failure(path, file.errorString()) };
    for (qint64 at = 0; at < content.size();) {
        const qint64 written = file.write(content.constData() + at, content.size() - at);
        if (written <= 0) // the temporary file goes with `file`
            return { FrameExport::Outcome::Failed, failure(path, file.errorString()) };
        at += written;
    }
    if (canceled) {
        file.cancelWriting();
        return { FrameExport::Outcome::Canceled, {} };
    }
    if (!file.commit())
        return { FrameExport::Outcome::Failed, failure(path, file.errorString()) };
    return {};
}

Written writePng(const QString& path, const QImage& picture, const std::atomic<bool>& canceled)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    if (!writer.write(picture))
        return { FrameExport::Outcome::Failed, failure(path, writer.errorString()) };
    return writeWhole(path, png, canceled);
}

QString disposalName(Disposal disposal)
{
    switch (disposal) {
    case Disposal::Keep:
        return QStringLiteral("keep");
    case Disposal::RestoreBackground:
        return QStringLiteral("background");
    case Disposal::RestorePrevious:
        return QStringLiteral("previous");
    case Disposal::None:
        break;
    }
    return QStringLiteral("none");
}

// One row per frame: its number, delay as played (ms) and as stored (hundredths),
// disposal, image rectangle and whether it has a transparent colour.
QByteArray framesTable(const Animation& animation)
{
    QByteArray table = "frame,delay_ms,stored_delay_cs,disposal,left,top,width,height,transparent\n";
    for (int number = 1; number <= animation.frameCount(); ++number) {
        const FrameInfo info = animation.frameInfo(number);
        table += QStringLiteral("%1,%2,%3,%4,%5,%6,%7,%8,%9\n")
                     .arg(number)
                     .arg(playedDelay(info.storedDelayCs).count())
                     .arg(info.storedDelayCs)
                     .arg(disposalName(info.disposal))
                     .arg(info.area.left)
                     .arg(info.area.top)
                     .arg(info.area.width)
                     .arg(info.area.height)
                     .arg(info.transparentIndex ? QStringLiteral("yes") : QStringLiteral("no"))
                     .toUtf8();
    }
    return table;
}

} // namespace

FrameExport::FrameExport(QObject* parent)
    : QObject(parent)
{
}

FrameExport::~FrameExport() { abandon(); }

void FrameExport::abandon()
{
    if (!m_shared)
        return;
    m_shared->canceled = true;
    // Under the lock: once it is released the job posts nothing more here.
    std::lock_guard lock(m_shared->mutex);
    m_shared->owner = nullptr;
}

QString FrameExport::frameFileName(int number, int frameCount)
{
    const int digits = std::max(4, int(QString::number(frameCount).size()));
    return QStringLiteral("frame-%1.png").arg(number, digits, 10, QLatin1Char('0'));
}

void FrameExport::cancel()
{
    if (!m_shared)
        return;
    m_shared->canceled = true;
}

void FrameExport::savePng(QImage picture, const QString& path)
{
    start([picture = std::move(picture), path](Shared& shared) {
        shared.total = 1;
        const Written written = writePng(path, picture, shared.canceled);
        shared.end(written.outcome, written.message);
    });
}

void FrameExport::exportFrames(const QString& gifPath, const QString& folder)
{
    start([file = pathBytesFromText(gifPath), gifPath, folder](Shared& shared) {
        auto opened = openAnimationFile(file, PixelOrder::Rgba, [&] { return !shared.canceled; });
        if (!opened && opened.error().kind == Error::Kind::Stopped) {
            shared.end(Outcome::Canceled, {});
            return;
        }
        if (!opened) {
            shared.end(Outcome::Failed,
                QStringLiteral("Cannot read %1: %2")
                    .arg(displayName(gifPath), QString::fromStdString(opened.error().message)));
            return;
        }
        Animation& animation = *opened.value();
        const int count = animation.frameCount();
        shared.total = count + 1;
        const QDir into(folder);
        for (int number = 1; number <= count; ++number) {
            if (shared.canceled) {
                shared.end(Outcome::Canceled, {});
                return;
            }
            const auto pixels = animation.frame(number);
            // Pixels are opaque or wholly transparent, so straight and premultiplied agree.
            const QImage picture(pixels.data(), animation.width(), animation.height(), qsizetype(animation.width()) * 4,
                QImage::Format_RGBA8888);
            const Written written = writePng(into.filePath(frameFileName(number, count)), picture, shared.canceled);
            if (written.outcome != Outcome::Written) {
                shared.end(written.outcome, written.message);
                return;
            }
            shared.reached(number);
        }
        const QByteArray table = framesTable(animation);
        const Written written = writeWhole(into.filePath(QStringLiteral("frames.csv")), table, shared.canceled);
        if (written.outcome == Outcome::Written)
            shared.reached(count + 1);
        shared.end(written.outcome, written.message);
    });
}

void FrameExport::start(std::function<void(Shared&)> job)
{
    abandon(); // a job still running, or held in a read, is told to stop and heard no more
    m_shared = std::make_shared<Shared>();
    m_shared->owner = this;
    try {
        std::thread([shared = m_shared, job = std::move(job)] { job(*shared); }).detach();
    } catch (const std::system_error& error) {
        const QString message = QStringLiteral("No thread to write on: %1").arg(QString::fromLocal8Bit(error.what()));
        m_shared->end(Outcome::Failed, message);
    }
}

void FrameExport::answer(Outcome outcome, const QString& message)
{
    m_shared.reset();
    emit finished(outcome, message);
}

} // namespace frolix
