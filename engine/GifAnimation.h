#pragma once
// A GIF decoded on demand: its bytes, their scan, and a composer of its frames that only
// this class reaches.

#include "Animation.h"
#include "ByteSource.h"
#include "FrameComposer.h"
#include "Result.h"

#include <functional>
#include <memory>

namespace frolix {

namespace gif {
// Scans `source`, giving back the pages behind the scan as it goes: only those of the
// frames shown are needed again. `passed` hears where each image ends, and may stop the
// scan there (GifScanner.h).
Result<GifInfo> scanSource(const ByteSource& source, const ScanProgress& passed = nullptr);
} // namespace gif

class GifAnimation final : public Animation {
public:
    static Result<std::shared_ptr<GifAnimation>> fromSource(std::shared_ptr<const ByteSource> bytes,
        PixelOrder order = PixelOrder::Rgba, std::size_t snapshotBudgetBytes = gif::kDefaultSnapshotBudgetBytes);
    static Result<std::shared_ptr<GifAnimation>> fromBytes(std::vector<std::uint8_t> bytes,
        PixelOrder order = PixelOrder::Rgba, std::size_t snapshotBudgetBytes = gif::kDefaultSnapshotBudgetBytes);
    // Bytes their caller has scanned already. `firstDrawn`, when given, has composed
    // frame 1 (from a scan of the bytes up to it) and is shown until another frame is
    // asked for.
    static std::shared_ptr<GifAnimation> fromScan(std::shared_ptr<const ByteSource> bytes, gif::GifInfo info,
        PixelOrder order, std::unique_ptr<gif::FrameComposer> firstDrawn = nullptr,
        std::size_t snapshotBudgetBytes = gif::kDefaultSnapshotBudgetBytes);

    int width() const override { return m_composer.width(); }
    int height() const override { return m_composer.height(); }
    int frameCount() const override { return int(m_composer.frameCount()); }
    Timeline timeline() const override;
    FrameInfo frameInfo(int number) const override;
    std::size_t byteSize() const override { return m_composer.source().bytes().size(); }
    std::span<const std::uint8_t> frame(int number) override;
    Area lastChange() const override { return m_first ? m_first->lastChange() : m_composer.lastChange(); }
    bool frameOpaque() const override { return m_first ? m_first->frameOpaque() : m_composer.frameOpaque(); }
    void expectBackwardSteps() override { m_composer.expectBackwardSteps(); }
    std::vector<Warning> warnings() const override;
    bool fileCutShort() const override { return m_composer.source().lostFrom() != SIZE_MAX; }

    // The file as scanned: what each image's record holds, as stored.
    const gif::GifInfo& info() const { return m_composer.info(); }

private:
    GifAnimation(std::shared_ptr<const ByteSource> bytes, gif::GifInfo info, std::size_t budget, PixelOrder order,
        std::unique_ptr<gif::FrameComposer> first)
        : m_composer(std::move(bytes), std::move(info), budget, order)
        , m_first(std::move(first))
    {
    }
    gif::FrameComposer m_composer;
    // Frame 1, composed while the scan went on, shown until another frame is asked for;
    // m_composer draws it again on its way there.
    std::unique_ptr<gif::FrameComposer> m_first;
};

} // namespace frolix
