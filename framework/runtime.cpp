// The C++ runtime the executable needs, without exceptions: the library's own
// operator new brings the whole unwinding machinery along. Out of memory, this
// one answers null, which every caller checks (the program is built with
// -fcheck-new). Linked into the program only; the tests keep the library's.
#include <cstdlib>

void* operator new(std::size_t n) { return std::malloc(n ? n : 1); }
void* operator new[](std::size_t n) { return std::malloc(n ? n : 1); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

// A pure virtual called through a half-built or destroyed object.
extern "C" void __cxa_pure_virtual() { std::abort(); }
