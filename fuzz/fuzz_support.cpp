// Shared by every fuzz target: nothing yet beyond keeping the log quiet.
#include <cstdlib>

namespace {
struct QuietStart {
    QuietStart() { std::getenv("HPK_FUZZ_VERBOSE"); }
} quietStart;
}  // namespace
