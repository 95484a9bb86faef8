#include "device/hidraw/report_descriptor.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <limits>
#include <map>

namespace device::hidraw {

namespace {

// Item types and tags of the short-item prefix byte.
constexpr unsigned kTypeMain = 0;
constexpr unsigned kTypeGlobal = 1;

constexpr unsigned kMainInput = 0x8;
constexpr unsigned kMainOutput = 0x9;
constexpr unsigned kMainFeature = 0xB;

constexpr unsigned kGlobalReportSize = 0x7;
constexpr unsigned kGlobalReportId = 0x8;
constexpr unsigned kGlobalReportCount = 0x9;
constexpr unsigned kGlobalPush = 0xA;
constexpr unsigned kGlobalPop = 0xB;

constexpr std::uint8_t kLongItemPrefix = 0xFE;

// Deeper nesting than this is no real device's; a longer Push chain is
// treated as a malformed descriptor rather than grown without bound.
constexpr std::size_t kMaxPushDepth = 16;

constexpr std::uint64_t kMaxBytes = std::numeric_limits<std::uint16_t>::max();
// Bit totals stop growing here, so sums and products never wrap.
constexpr std::uint64_t kBitCap = (kMaxBytes + 1) * 8;

struct GlobalState {
    std::uint32_t reportSize = 0;
    std::uint32_t reportCount = 0;
    std::uint32_t reportId = 0;
};

enum Kind : std::size_t { kInput, kOutput, kFeature, kKindCount };

std::uint64_t addCapped(std::uint64_t total, std::uint64_t size, std::uint64_t count) {
    // size and count are 32-bit, so the product fits 64 bits before the cap.
    return std::min(kBitCap, total + std::min(kBitCap, size * count));
}

std::uint16_t bytesWithId(std::uint64_t bits) {
    const std::uint64_t bytes = (bits + 7) / 8 + 1;
    return static_cast<std::uint16_t>(std::min(bytes, kMaxBytes));
}

}  // namespace

ReportLengths parseReportDescriptor(std::span<const std::uint8_t> descriptor) {
    ReportLengths result;
    GlobalState state;
    std::array<GlobalState, kMaxPushDepth> stack{};
    std::size_t depth = 0;
    // Bits per report ID for each kind; an ID present here has a report of
    // that kind even when its items add up to zero bits.
    std::array<std::map<std::uint32_t, std::uint64_t>, kKindCount> bits;

    std::size_t pos = 0;
    while (pos < descriptor.size()) {
        const std::uint8_t prefix = descriptor[pos];
        if (prefix == kLongItemPrefix) {
            // A long item: its data size, its tag, then the data. No long
            // item affects report lengths, so it is only stepped over.
            const std::size_t left = descriptor.size() - pos;
            if (left < 3 || left < 3 + std::size_t{descriptor[pos + 1]}) {
                result.complete = false;
                break;
            }
            pos += 3 + std::size_t{descriptor[pos + 1]};
            continue;
        }

        const std::size_t dataSize = (prefix & 0x3) == 3 ? 4 : (prefix & 0x3);
        if (descriptor.size() - pos - 1 < dataSize) {
            result.complete = false;
            break;
        }
        std::uint32_t value = 0;
        for (std::size_t i = 0; i < dataSize; ++i) value |= std::uint32_t{descriptor[pos + 1 + i]} << (8 * i);
        pos += 1 + dataSize;

        const unsigned type = (prefix >> 2) & 0x3;
        const unsigned tag = prefix >> 4;
        if (type == kTypeGlobal) {
            switch (tag) {
            case kGlobalReportSize: state.reportSize = value; break;
            case kGlobalReportCount: state.reportCount = value; break;
            case kGlobalReportId:
                state.reportId = value;
                result.numbered = true;
                break;
            case kGlobalPush:
                if (depth == kMaxPushDepth) {
                    result.complete = false;
                    pos = descriptor.size();
                    break;
                }
                stack[depth++] = state;
                break;
            case kGlobalPop:
                if (depth == 0) {
                    result.complete = false;
                    pos = descriptor.size();
                    break;
                }
                state = stack[--depth];
                break;
            default: break;
            }
        } else if (type == kTypeMain) {
            Kind kind = kKindCount;
            if (tag == kMainInput) kind = kInput;
            else if (tag == kMainOutput) kind = kOutput;
            else if (tag == kMainFeature) kind = kFeature;
            if (kind != kKindCount) {
                std::uint64_t& total = bits[kind][state.reportId];
                total = addCapped(total, state.reportSize, state.reportCount);
            }
        }
        // Local items (usages, designators, strings) and the reserved type
        // do not change any report's length.
    }

    auto longest = [&bits](Kind kind) -> std::uint16_t {
        if (bits[kind].empty()) return 0;
        std::uint64_t most = 0;
        for (const auto& [id, total] : bits[kind]) most = std::max(most, total);
        return bytesWithId(most);
    };
    result.input = longest(kInput);
    result.output = longest(kOutput);
    result.feature = longest(kFeature);
    return result;
}

}  // namespace device::hidraw
