#include "GifAnimation.h"

#include "FileBytes.h"

namespace frolix {

namespace {

// The scan reads a byte of every sub-block, so every page of the file; only those of
// the frames shown are needed again, so the pages behind it are given back as it goes.
// The read-ahead stops with the scan: pages it faulted in after the caller gives the
// file back would stay resident.
Result<gif::GifInfo> scanFile(const FileBytes& file)
{
    FileBytes::ReadAhead readAhead(file);
    std::size_t released = 0;
    return gif::scan(file.bytes(), [&](std::size_t offset) {
        readAhead.reached(offset);
        if (offset - released > kResidentFileBytes) {
            file.release(released, offset);
            released = offset;
        }
    });
}

} // namespace

Result<std::shared_ptr<GifAnimation>> GifAnimation::fromBytes(
    std::vector<std::uint8_t> bytes, PixelOrder order, std::size_t snapshotBudgetBytes)
{
    return fromFileBytes(FileBytes::hold(std::move(bytes)), order, snapshotBudgetBytes);
}

Result<std::shared_ptr<GifAnimation>> GifAnimation::fromFile(const std::filesystem::path& path, PixelOrder order)
{
    FROLIX_TRY(std::shared_ptr<const FileBytes> file, FileBytes::open(path));
    return fromFileBytes(std::move(file), order, gif::kDefaultSnapshotBudgetBytes);
}

Result<std::shared_ptr<GifAnimation>> GifAnimation::fromFileBytes(
    std::shared_ptr<const FileBytes> file, PixelOrder order, std::size_t snapshotBudgetBytes)
{
    FROLIX_TRY(gif::GifInfo info, scanFile(*file));
    file->release();
    return std::shared_ptr<GifAnimation>(
        new GifAnimation(std::move(file), std::move(info), snapshotBudgetBytes, order));
}

Timeline GifAnimation::timeline() const
{
    Timeline timeline;
    for (const auto& image : info().images)
        timeline.storedDelaysCs.push_back(image.delayCs);
    if (info().images.empty())
        timeline.storedDelaysCs.push_back(0); // the one empty frame
    timeline.storedLoopCount = info().storedLoopCount;
    return timeline;
}

std::vector<Warning> GifAnimation::warnings() const
{
    std::vector<Warning> all = info().warnings;
    const auto& drawn = m_composer.drawWarnings();
    all.insert(all.end(), drawn.begin(), drawn.end());
    if (fileCutShort())
        all.push_back({ Warning::Kind::FileCutShort,
            "the file was cut short by another program while it was open: from offset "
                + std::to_string(m_composer.file().lostFrom())
                + " on it reads as empty, so the frames drawn from there show what came before" });
    return all;
}

} // namespace frolix
