#include "ByteSource.h"

namespace frolix {
namespace {

class HeldBytes final : public ByteSource {
public:
    explicit HeldBytes(std::vector<std::uint8_t> bytes)
        : m_bytes(std::move(bytes))
    {
    }
    std::span<const std::uint8_t> bytes() const override { return m_bytes; }

private:
    std::vector<std::uint8_t> m_bytes;
};

} // namespace

std::shared_ptr<const ByteSource> holdBytes(std::vector<std::uint8_t> bytes)
{
    return std::make_shared<HeldBytes>(std::move(bytes));
}

} // namespace frolix
