#include "fuzz/parser_checks.h"

#include "device/hidraw/report_descriptor.h"

#include <algorithm>
#include <vector>

namespace fuzz {

namespace {

using device::hidraw::parseReportDescriptor;
using device::hidraw::ReportLengths;

constexpr const char* kName = "report descriptor";

// Each parse gets a heap copy of exactly its bytes, so the sanitizer sees a
// read one byte past a prefix as well as past the whole input.
ReportLengths parseCopy(Bytes bytes) {
    const std::vector<std::uint8_t> copy(bytes.begin(), bytes.end());
    return parseReportDescriptor(copy);
}

bool sameLengths(const ReportLengths& a, const ReportLengths& b) {
    return a.input == b.input && a.output == b.output && a.feature == b.feature && a.numbered == b.numbered;
}

}  // namespace

void checkReportDescriptor(Bytes input) {
    const ReportLengths whole = parseCopy(input);

    // The items of a prefix are items of the whole with the same global
    // state before each, so no length of a prefix exceeds the whole's: a
    // length that wrapped or a total that was lost shows up here.
    const std::size_t n = input.size();
    const std::size_t step = n <= 64 ? 1 : n / 32;
    for (std::size_t cut = 0; cut < n; cut += step) {
        const ReportLengths part = parseCopy(input.first(cut));
        require(part.input <= whole.input && part.output <= whole.output && part.feature <= whole.feature, kName,
                "a prefix has a longer report than the whole descriptor");
        require(!part.numbered || whole.numbered, kName, "a prefix is numbered but the whole is not");
    }

    if (!whole.complete) return;
    // A complete walk ended on an item boundary: one more item without
    // effect changes nothing, and one more item cut short is noticed.
    std::vector<std::uint8_t> longer(input.begin(), input.end());
    longer.push_back(0x00);
    const ReportLengths withEmpty = parseReportDescriptor(longer);
    require(withEmpty.complete && sameLengths(withEmpty, whole), kName,
            "an empty main item after a complete descriptor changed the result");
    longer.back() = 0x75;  // Report Size, its one data byte missing
    const ReportLengths withCut = parseReportDescriptor(longer);
    require(!withCut.complete, kName, "an item cut short was not marked incomplete");
    require(sameLengths(withCut, whole), kName, "an item cut short changed the lengths");
}

}  // namespace fuzz
