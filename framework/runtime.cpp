// The C++ runtime the executable needs, without exceptions: the library's own
// operator new throws, and with it comes the whole unwinding machinery.
// Linked into the program only; the tests keep the library's.
#include <cstdlib>
#include <new>

void* operator new(std::size_t n) { return std::malloc(n ? n : 1); }
void* operator new[](std::size_t n) { return std::malloc(n ? n : 1); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return std::malloc(n ? n : 1); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return std::malloc(n ? n : 1); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

// A pure virtual called through a half-built or destroyed object.
extern "C" void __cxa_pure_virtual() { std::abort(); }
