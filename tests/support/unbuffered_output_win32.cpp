// Linked into every Windows test. Under Wine a test's output goes to a pipe,
// which the C runtime buffers whole: a process that crashed or was ended by
// force would leave CTest nothing to show. Unbuffered, everything it printed
// up to that moment is there.

#include <cstdio>

namespace {

const int s_nUnbuffered = [] { return std::setvbuf(stdout, nullptr, _IONBF, 0); }();

}  // namespace
