#pragma once
// A decoded-on-demand animation: the file's bytes, their scan, a composer for the
// pictures and the timeline for the player. What the component holds after a load.

#include "FrameComposer.h"
#include "Player.h"
#include "Result.h"

#include <filesystem>
#include <memory>

namespace frolix {

// A GIF larger than this is not one anybody means to view; reading it would only
// tie up memory.
inline constexpr std::uintmax_t kMaxFileBytes = 256u << 20;

class GifAnimation {
public:
    static Result<std::shared_ptr<GifAnimation>> fromBytes(std::vector<std::uint8_t> bytes,
        std::size_t snapshotBudgetBytes = gif::kDefaultSnapshotBudgetBytes,
        gif::PixelOrder order = gif::PixelOrder::Rgba);
    static Result<std::shared_ptr<GifAnimation>> fromFile(
        const std::filesystem::path& path, gif::PixelOrder order = gif::PixelOrder::Rgba);

    const gif::GifInfo& info() const { return m_composer.info(); }
    int frameCount() const { return int(m_composer.frameCount()); }
    int width() const { return m_composer.width(); }
    int height() const { return m_composer.height(); }
    Timeline timeline() const;
    // The pixels of frame `number`, counted from 1 as the player counts.
    std::span<const std::uint8_t> frame(int number)
    {
        return m_composer.frame(std::size_t(number > 0 ? number - 1 : 0));
    }
    gif::FrameComposer& composer() { return m_composer; }

private:
    GifAnimation(std::shared_ptr<const std::vector<std::uint8_t>> file, gif::GifInfo info, std::size_t budget,
        gif::PixelOrder order)
        : m_composer(std::move(file), std::move(info), budget, order)
    {
    }
    gif::FrameComposer m_composer;
};

} // namespace frolix
