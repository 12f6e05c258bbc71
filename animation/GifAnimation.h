#pragma once
// A GIF decoded on demand: the file's bytes, their scan, and a composer of its frames
// that only this class reaches.

#include "Animation.h"
#include "FrameComposer.h"
#include "Result.h"

#include <filesystem>
#include <memory>

namespace frolix {

class GifAnimation final : public Animation {
public:
    static Result<std::shared_ptr<GifAnimation>> fromBytes(std::vector<std::uint8_t> bytes,
        PixelOrder order = PixelOrder::Rgba, std::size_t snapshotBudgetBytes = gif::kDefaultSnapshotBudgetBytes);
    // Maps the file (see FileBytes.h): its size is bounded only by the address space.
    static Result<std::shared_ptr<GifAnimation>> fromFile(
        const std::filesystem::path& path, PixelOrder order = PixelOrder::Rgba);

    int width() const override { return m_composer.width(); }
    int height() const override { return m_composer.height(); }
    int frameCount() const override { return int(m_composer.frameCount()); }
    Timeline timeline() const override;
    std::span<const std::uint8_t> frame(int number) override;
    Area lastChange() const override { return m_first ? m_first->lastChange() : m_composer.lastChange(); }
    bool frameOpaque() const override { return m_first ? m_first->frameOpaque() : m_composer.frameOpaque(); }
    void expectBackwardSteps() override { m_composer.expectBackwardSteps(); }
    std::vector<Warning> warnings() const override;
    bool fileCutShort() const override { return m_composer.file().lostFrom() != SIZE_MAX; }

    // The file as scanned: what each image's record holds, as stored.
    const gif::GifInfo& info() const { return m_composer.info(); }

private:
    static Result<std::shared_ptr<GifAnimation>> fromFileBytes(
        std::shared_ptr<const FileBytes> file, PixelOrder order, std::size_t snapshotBudgetBytes);
    GifAnimation(std::shared_ptr<const FileBytes> file, gif::GifInfo info, std::size_t budget, PixelOrder order,
        std::unique_ptr<gif::FrameComposer> first)
        : m_composer(std::move(file), std::move(info), budget, order)
        , m_first(std::move(first))
    {
    }
    gif::FrameComposer m_composer;
    // Frame 1, composed on another thread while the scan went on, shown until another
    // frame is asked for; m_composer draws it again on its way there.
    std::unique_ptr<gif::FrameComposer> m_first;
};

} // namespace frolix
