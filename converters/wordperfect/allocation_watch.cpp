// The library's allocation functions: the usual ones, except that a failure
// is also noted in g_wpd_allocation_failed. libwpd catches every exception
// inside its parser and reports a plain parse error, so without the note an
// exhausted heap would look like a damaged document.
#include <cstdlib>
#include <new>

#include "wpd_import.h"

namespace {
// A damaged length field can ask for gigabytes at once: a 32-bit process
// never has them, a 64-bit one would commit and fill them. Nothing the
// converter holds needs one block this large (documents over 512 MB are
// refused), so such a request fails as out of memory on both architectures.
const std::size_t LARGEST_ALLOCATION = std::size_t(1) << 30;

void *allocate_or_null(std::size_t size) noexcept {
    void *p = size <= LARGEST_ALLOCATION ? std::malloc(size ? size : 1) : nullptr;
    if (!p) g_wpd_allocation_failed = true;
    return p;
}

void *allocate(std::size_t size) {
    void *p = allocate_or_null(size);
    if (!p) throw std::bad_alloc();
    return p;
}
}  // namespace

void *operator new(std::size_t size) { return allocate(size); }
void *operator new[](std::size_t size) { return allocate(size); }
void *operator new(std::size_t size, const std::nothrow_t &) noexcept { return allocate_or_null(size); }
void *operator new[](std::size_t size, const std::nothrow_t &) noexcept { return allocate_or_null(size); }
void operator delete(void *p) noexcept { std::free(p); }
void operator delete[](void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }
void operator delete[](void *p, std::size_t) noexcept { std::free(p); }
void operator delete(void *p, const std::nothrow_t &) noexcept { std::free(p); }
void operator delete[](void *p, const std::nothrow_t &) noexcept { std::free(p); }
