#include "AnimationLoader.h"

#include "NativePath.h"
#include "OpenFile.h"

#include <atomic>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <utility>

namespace frolix {

// What the loader shares with its loads' threads, which may outlive it.
struct AnimationLoader::Shared {
    std::mutex mutex;
    AnimationLoader* owner = nullptr; // null once the loader is gone
    std::uint64_t newest = 0; // the request to answer
    bool answered = true; // the newest request's answer is in, or not wanted
    // Moves on with every request, cancel and the loader's end: a load that sees it moved
    // is wanted no more and stops reading. Read without the lock, after each image.
    std::atomic<std::uint64_t> turn = 0;
};

AnimationLoader::AnimationLoader(PixelOrder order, QObject* parent)
    : QObject(parent)
    , m_shared(std::make_shared<Shared>())
    , m_order(order)
{
    m_shared->owner = this;
}

AnimationLoader::~AnimationLoader()
{
    // Under the lock: once it is released no load posts to this object again, and what
    // one posted before is discarded with it.
    std::lock_guard lock(m_shared->mutex);
    m_shared->owner = nullptr;
    ++m_shared->turn;
}

bool AnimationLoader::busy() const
{
    std::lock_guard lock(m_shared->mutex);
    return !m_shared->answered;
}

void AnimationLoader::load(const QString& path, std::uint64_t request)
{
    std::uint64_t turn;
    {
        std::lock_guard lock(m_shared->mutex);
        m_shared->newest = request;
        m_shared->answered = false;
        turn = ++m_shared->turn;
    }
    auto work = [shared = m_shared, file = pathBytesFromText(path), order = m_order, request, turn] {
        // Declared before the lock, so a superseded animation is freed (its mapping
        // given back) here and after the lock is released, not on the asking thread.
        auto result = std::make_shared<const LoadResult>(
            openAnimationFile(file, order, [&] { return shared->turn.load(std::memory_order_relaxed) == turn; }));
        std::lock_guard lock(shared->mutex);
        if (shared->owner && shared->newest == request && !shared->answered)
            QMetaObject::invokeMethod(
                shared->owner, [owner = shared->owner, request, result] { owner->answer(request, *result); },
                Qt::QueuedConnection);
    };
    try {
        std::thread(std::move(work)).detach();
    } catch (const std::system_error& error) {
        // Out of threads (many loads hung at once): this one is refused, not queued.
        auto result = std::make_shared<const LoadResult>(
            makeError(Error::Kind::Io, std::string("no thread to load the file on: ") + error.what()));
        QMetaObject::invokeMethod(
            this, [this, request, result] { answer(request, *result); }, Qt::QueuedConnection);
    }
}

void AnimationLoader::cancel()
{
    std::lock_guard lock(m_shared->mutex);
    m_shared->answered = true;
    ++m_shared->turn;
}

void AnimationLoader::answer(std::uint64_t request, const LoadResult& result)
{
    {
        std::lock_guard lock(m_shared->mutex);
        // A request made after this answer was posted supersedes it.
        if (request != m_shared->newest || m_shared->answered)
            return;
        m_shared->answered = true;
    }
    emit loaded(request, result);
}

} // namespace frolix
