#pragma once
// Asks the file system something off the window's thread. A hung network share or a
// dead device can block a stat() or a directory read for minutes; the thread asking
// stays blocked then, never the window.
//
// answerWithin() waits for the answer up to `deadline` and gives up after that (the
// drive list marks such a drive). answerOrGiveUp() waits a moment, then goes on
// waiting with the window's events handled (it repaints, buttons answer) until
// `giveUp`. Either returns nullopt when the file system did not answer; the work left
// running finishes on its own thread and its answer is dropped.

#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

namespace fs_call {

template <typename T> struct Pending {
    std::mutex mutex;
    std::condition_variable done;
    std::optional<T> answer;
};

template <typename T> std::shared_ptr<Pending<T>> start(std::function<T()> work)
{
    auto pending = std::make_shared<Pending<T>>();
    std::thread([pending, work = std::move(work)] {
        T answer = work();
        std::lock_guard lock(pending->mutex);
        pending->answer = std::move(answer);
        pending->done.notify_all();
    }).detach();
    return pending;
}

template <typename T> std::optional<T> take(Pending<T>& pending, std::chrono::milliseconds wait)
{
    std::unique_lock lock(pending.mutex);
    if (!pending.done.wait_for(lock, wait, [&] { return pending.answer.has_value(); }))
        return std::nullopt;
    return std::move(pending.answer);
}

template <typename T> std::optional<T> answerWithin(std::function<T()> work, std::chrono::milliseconds deadline)
{
    return take(*start(std::move(work)), deadline);
}

template <typename T>
std::optional<T> answerOrGiveUp(std::function<T()> work, std::chrono::milliseconds giveUp = std::chrono::seconds(3))
{
    auto pending = start(std::move(work));
    if (auto answer = take(*pending, std::chrono::milliseconds(20)))
        return answer;
    QEventLoop loop;
    QTimer poll;
    poll.callOnTimeout(&loop, [&] {
        std::lock_guard lock(pending->mutex);
        if (pending->answer)
            loop.quit();
    });
    poll.start(10);
    QTimer::singleShot(giveUp, &loop, &QEventLoop::quit);
    loop.exec();
    return take(*pending, std::chrono::milliseconds(0));
}

} // namespace fs_call
