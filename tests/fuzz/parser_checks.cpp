#include "fuzz/parser_checks.h"

#include <cstdio>
#include <cstdlib>

namespace fuzz {

void broken(const char* parser, const char* what) {
    std::fprintf(stderr, "%s: invariant broken: %s\n", parser, what);
    std::abort();
}

}  // namespace fuzz
