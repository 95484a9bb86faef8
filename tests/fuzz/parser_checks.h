#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>

// The parser fuzzers' checks. Each takes any byte string, feeds it to one
// parser and aborts with a message when the parser crosses its own rules;
// the libFuzzer programs and the corpus replay of every build both call
// them.
namespace fuzz {

using Bytes = std::span<const std::uint8_t>;

// UTF-8 from sysfs to UTF-16, into a request buffer, and back to text by
// the identity-string rule: the bytes are the attribute's text.
void checkUtf16Text(Bytes input);
// The interface detail record and the string buffers as the Windows
// services fill them: the bytes are what the system wrote.
void checkWin32Records(Bytes input);
// The scenario language: the bytes are the scenario's text.
void checkScenario(Bytes input);
#ifdef VANDREL_FUZZ_HIDRAW
// The report-descriptor walk: the bytes are the descriptor.
void checkReportDescriptor(Bytes input);
// The sysfs readers over a tree laid out from the bytes.
void checkSysfs(Bytes input);
#endif

[[noreturn]] inline void broken(const char* parser, const char* what) {
    std::fprintf(stderr, "%s: invariant broken: %s\n", parser, what);
    std::abort();
}

inline void require(bool holds, const char* parser, const char* what) {
    if (!holds) broken(parser, what);
}

}  // namespace fuzz
