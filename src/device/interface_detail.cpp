#include "device/interface_detail.h"

#include <algorithm>

namespace device {

std::size_t detailStorageBytes(std::uint32_t required, std::size_t pathOffset, std::uint32_t maxBytes) {
    if (required <= pathOffset || required > maxBytes) return 0;
    // Whole 32-bit words keep the record aligned; two more than needed
    // guarantee zero bytes after the required size.
    constexpr std::size_t kWord = 4;
    return (std::size_t{required} / kWord + 2) * kWord;
}

std::string detailPath(std::span<const std::uint8_t> record, std::size_t pathOffset) {
    if (record.size() <= pathOffset) return {};
    const auto path = record.subspan(pathOffset);
    const auto end = std::find(path.begin(), path.end(), std::uint8_t{0});
    return std::string(path.begin(), end);
}

}  // namespace device
