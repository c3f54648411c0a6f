// Large blocks on transparent huge pages. Pattern sets of many megabytes are
// stored in vectors that grow by doubling, and on such input the
// kernel's work of faulting in fresh 4 KiB pages took a third of the run.
// Blocks of several megabytes (which malloc maps fresh) are marked for huge
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
constexpr std::size_t adviseFrom = 2 * hugePage;

void adviseHugePages(void* block, std::size_t size) {
    auto const begin = reinterpret_cast<std::uintptr_t>(block);
    std::uintptr_t const first = (begin + hugePage - 1) & ~(hugePage - 1);
    std::uintptr_t const last = (begin + size) & ~(hugePage - 1);
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

}  // namespace

void* operator new(std::size_t size) {
    void* const block = std::malloc(size == 0 ? 1 : size);
    if (block == nullptr) throw std::bad_alloc();
    if (size >= adviseFrom) adviseHugePages(block, size);
    return block;
}

void* operator new[](std::size_t size) { return ::operator new(size); }

void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, std::size_t) noexcept { std::free(block); }
void operator delete[](void* block, std::size_t) noexcept { std::free(block); }
