// The library's allocation functions: the usual ones, except that a failure
// is also noted in g_wpd_allocation_failed. libwpd catches every exception
// inside its parser and reports a plain parse error, so without the note an
// exhausted heap would look like a damaged document.
#include <cstdlib>
#include <new>

#include "wpd_import.h"

namespace {
void *allocate(std::size_t size) {
    void *p = std::malloc(size ? size : 1);
    if (!p) {
        g_wpd_allocation_failed = true;
        throw std::bad_alloc();
    }
    return p;
}
}  // namespace

void *operator new(std::size_t size) { return allocate(size); }
void *operator new[](std::size_t size) { return allocate(size); }
void operator delete(void *p) noexcept { std::free(p); }
void operator delete[](void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }
void operator delete[](void *p, std::size_t) noexcept { std::free(p); }
