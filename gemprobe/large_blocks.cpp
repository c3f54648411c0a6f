// Large blocks on transparent huge pages. A huge solid keeps its vertices,
// the filter's lanes and blocks in arrays of several megabytes that are
// filled once, and on such input the kernel's work of faulting in fresh
// 4 KiB pages took a third of the run. Blocks of 2 MiB and more are taken
// aligned to 2 MiB and rounded up to whole huge pages, and marked for huge
// pages before they are touched, so they fault in 2 MiB at a time. Where the
// kernel does not offer huge pages the advice is ignored; nothing else
// changes: memory still comes from malloc and goes back through free.
// Linked into the program only, so the tests run on the plain allocator.

#include <sys/mman.h>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>

namespace {

constexpr std::size_t hugePage = std::size_t{2} << 20;

void* allocate(std::size_t size, std::size_t alignment) {
    if (size >= hugePage) {
        std::size_t const whole = (size + hugePage - 1) & ~(hugePage - 1);
        void* const block = whole >= size ? std::aligned_alloc(hugePage, whole) : nullptr;
        if (block == nullptr) throw std::bad_alloc();
        madvise(block, whole, MADV_HUGEPAGE);
        return block;
    }
    void* const block = alignment <= alignof(std::max_align_t)
                            ? std::malloc(size == 0 ? 1 : size)
                            : std::aligned_alloc(alignment, (size + alignment - 1) & ~(alignment - 1));
    if (block == nullptr) throw std::bad_alloc();
    return block;
}

}  // namespace

void* operator new(std::size_t size) { return allocate(size, alignof(std::max_align_t)); }
void* operator new[](std::size_t size) { return allocate(size, alignof(std::max_align_t)); }
void* operator new(std::size_t size, std::align_val_t alignment) {
    return allocate(size, static_cast<std::size_t>(alignment));
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
    return allocate(size, static_cast<std::size_t>(alignment));
}

void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
void operator delete(void* block, std::align_val_t) noexcept { std::free(block); }
void operator delete[](void* block, std::align_val_t) noexcept { std::free(block); }
void operator delete(void* block, std::size_t, std::align_val_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t, std::align_val_t) noexcept { std::free(block); }
