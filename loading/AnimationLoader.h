#pragma once
// The loading thread: opens animation files (OpenFile.h) off the thread that asks for
// them, and answers on the loader's own thread with a queued call, so the window's
// thread never waits on a file system.
//
// Each load runs on a thread of its own, started for it and never joined. A share that
// stops answering keeps its load's thread in a read for as long as it likes: the next
// request does not queue behind it, and neither destroying the loader nor ending the
// process waits for it. That thread owns everything it touches (the path, the mapping,
// the animation it builds, its link back here), so nothing it holds can dangle; when
// its read returns at last, its answer is dropped on its own thread. A load superseded,
// cancelled or abandoned stops reading its file at the end of the image it is in.

#include "Animation.h"
#include "AnimationTypes.h"
#include "Result.h"

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>

namespace frolix {

using LoadResult = Result<std::shared_ptr<Animation>>;

class AnimationLoader : public QObject {
    Q_OBJECT
    Q_DISABLE_COPY(AnimationLoader)
public:
    explicit AnimationLoader(PixelOrder order, QObject* parent = nullptr);
    // Returns at once: loads under way are abandoned, and announce nothing.
    ~AnimationLoader() override;

    // Starts loading `path` (as the window spells it, NativePath.h) with frame 1 drawn,
    // as request `request`. It supersedes every earlier request: only the newest is
    // answered, and an older one's answer is dropped without a word.
    void load(const QString& path, std::uint64_t request);
    // Drops the newest request: it is answered no more than the older ones.
    void cancel();
    // The answer to the newest request is still to come.
    bool busy() const;

signals:
    // The answer to the newest request, on the loader's thread.
    void loaded(std::uint64_t request, const frolix::LoadResult& result);

private:
    struct Shared;
    void answer(std::uint64_t request, const LoadResult& result);

    std::shared_ptr<Shared> m_shared; // with every load's thread
    PixelOrder m_order;
};

} // namespace frolix
