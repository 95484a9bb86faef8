// One libFuzzer program per parser: VANDREL_FUZZ_CHECK names the check.
#include "fuzz/parser_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::VANDREL_FUZZ_CHECK(fuzz::Bytes(data, size));
    return 0;
}
