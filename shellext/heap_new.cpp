// The DLL's own allocation operators: the handler and the factory are made
// with new (std::nothrow) and must not bring in the runtime's exception
// machinery, which the library versions of these operators use.
#include <stdlib.h>

#include <new>

void* operator new(size_t size, const std::nothrow_t&) noexcept { return malloc(size ? size : 1); }
void operator delete(void* block) noexcept { free(block); }
void operator delete(void* block, size_t) noexcept { free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { free(block); }
