// Standard input as a mapped file. When it is a regular file, the scan reads
// the page cache in place through a window of the file mapped into memory,
// instead of having read() copy every byte into the buffer first.
//
// - One window at a time: each refill unmaps the window behind the scan before
//   mapping the next, so the resident set holds at most one window, whatever
//   the file's size. A window starts at the page holding the next unread byte
//   (the first at the offset standard input had when the program started) and
//   ends `window` bytes later or at the size the file had when it was opened.
// - Past that size the file may have grown: reading goes on with read() from
//   there, as it does whenever a window cannot be mapped.
// - Every window is followed by an inaccessible guard page, so a read past
//   the end of a window faults at once instead of reading stale bytes.
// - A file that shrinks under its window makes the next access to the lost
//   pages raise SIGBUS. The handler maps zero pages over the rest of the window
//   so the access can finish, and marks the input as failed (EIO): the driver
//   checks that before it prints a count, so the run ends with a read error
//   instead of a count taken from the zeros. Answers printed before stay.
// - A cut inside a page gives no signal: the rest of that page reads as zero
//   bytes. Each refill, and the end of the run (mappedFileShrank), compare the
//   file's size with what was mapped, so the run still ends with the error;
//   counts of tasks read from those zeros (less than a page of them) may have
//   been written before it, when the output block filled in the meantime.

#include "input.h"

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <cerrno>

namespace {

// Whether mapping standard input pays over read(): see docs/design.md.
constexpr bool mapStandardInput = false;

std::uint64_t pageSize() {
    static long const size = ::sysconf(_SC_PAGESIZE);
    return size > 0 ? static_cast<std::uint64_t>(size) : 4096;
}

// The window being scanned, as the SIGBUS handler sees it: the pages that
// hold file bytes, and where to record that the file shrank.
std::atomic<char*> watchedStart{nullptr};
std::atomic<char*> watchedEnd{nullptr};
std::atomic<std::sig_atomic_t volatile*> watchedError{nullptr};
struct sigaction previousBusAction;
bool busHandlerInstalled = false;

void onBusError(int signal, siginfo_t* info, void*) {
    char* const start = watchedStart.load(std::memory_order_relaxed);
    char* const end = watchedEnd.load(std::memory_order_relaxed);
    auto* const address = static_cast<char*>(info->si_addr);
    bool const ours = info->si_code > 0 && start != nullptr && address >= start && address < end;
    if (ours) {
        char* const page = start + (address - start) / pageSize() * pageSize();
        void* const zeros = ::mmap(page, static_cast<std::size_t>(end - page), PROT_READ,
                                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1, 0);
        if (zeros != MAP_FAILED) {
            *watchedError.load(std::memory_order_relaxed) = EIO;
            return;
        }
    }
    // Not a window of ours (or no way to patch it): the previous action takes
    // it, when the faulting access repeats or, for a sent signal, at once.
    ::sigaction(SIGBUS, &previousBusAction, nullptr);
    if (info->si_code <= 0) ::raise(signal);
}

void installBusHandler() {
    if (busHandlerInstalled) return;
    struct sigaction action {};
    action.sa_sigaction = onBusError;
    action.sa_flags = SA_SIGINFO;
    sigemptyset(&action.sa_mask);
    busHandlerInstalled = ::sigaction(SIGBUS, &action, &previousBusAction) == 0;
}

void watch(char* start, char* end, Input& in) {
    watchedError.store(&in.readError, std::memory_order_relaxed);
    watchedEnd.store(end, std::memory_order_relaxed);
    watchedStart.store(start, std::memory_order_relaxed);
    std::atomic_signal_fence(std::memory_order_seq_cst);
}

void releaseWindow(MappedFile& file) {
    if (file.base == nullptr) return;
    if (watchedStart.load(std::memory_order_relaxed) == file.base) {
        watchedStart.store(nullptr, std::memory_order_relaxed);
        std::atomic_signal_fence(std::memory_order_seq_cst);
    }
    ::munmap(file.base, file.length);
    file.base = nullptr;
    file.length = 0;
}

// Maps the next window and points the buffer at it; false when it cannot.
bool mapWindow(Input& in) {
    MappedFile& file = in.mapped;
    std::uint64_t const page = pageSize();
    std::uint64_t const first = file.next / page * page;
    std::uint64_t const stop = std::min(file.limit, file.next + file.window);
    auto const fileBytes = static_cast<std::size_t>(stop - first);
    std::size_t const mappedBytes = (fileBytes + page - 1) / page * page;
    // The window's pages, then the guard page, in one reservation.
    void* const reserved =
        ::mmap(nullptr, mappedBytes + page, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (reserved == MAP_FAILED) return false;
    auto* const base = static_cast<char*>(reserved);
    if (::mmap(base, mappedBytes, PROT_READ, MAP_PRIVATE | MAP_FIXED, in.fd, static_cast<off_t>(first)) ==
        MAP_FAILED) {
        ::munmap(base, mappedBytes + page);
        return false;
    }
    file.base = base;
    file.length = mappedBytes + page;
    installBusHandler();
    watch(base, base + mappedBytes, in);
    in.pos = base + (file.next - first);
    in.end = base + fileBytes;
    file.next = stop;
    in.readEndsWithNewline = in.end[-1] == '\n';
    return true;
}

}  // namespace

MappedFile::MappedFile(MappedFile&& other) noexcept
    : next(other.next), limit(other.limit), window(other.window), base(other.base), length(other.length) {
    other.window = 0;
    other.base = nullptr;
    other.length = 0;
}

MappedFile& MappedFile::operator=(MappedFile&& other) noexcept {
    if (this != &other) {
        releaseWindow(*this);
        next = other.next;
        limit = other.limit;
        window = other.window;
        base = other.base;
        length = other.length;
        other.window = 0;
        other.base = nullptr;
        other.length = 0;
    }
    return *this;
}

MappedFile::~MappedFile() { releaseWindow(*this); }

Input inputFromMappedFile(int fd, std::size_t window) {
    Input in = inputFromFd(fd);
    struct stat info {};
    off_t const offset = ::lseek(fd, 0, SEEK_CUR);
    if (window == 0 || ::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || offset < 0 ||
        info.st_size <= offset)
        return in;
    in.mapped.window = window;
    in.mapped.next = static_cast<std::uint64_t>(offset);
    in.mapped.limit = static_cast<std::uint64_t>(info.st_size);
    return in;
}

Input inputFromStandardInput(int fd) {
    if (mapStandardInput) return inputFromMappedFile(fd);
    return inputFromFd(fd);
}

// The window is mapped by the first refill, once the Input has its place: the
// SIGBUS handler records a shrink in that Input's readError.
bool refillMapped(Input& in) {
    MappedFile& file = in.mapped;
    releaseWindow(file);
    mappedFileShrank(in);
    if (in.readError == 0 && file.next < file.limit && mapWindow(in)) return true;
    // The file shrank, or ended where its size said, or cannot be mapped.
    file.window = 0;
    in.pos = in.buffer.get();
    in.end = in.pos;
    if (in.readError == 0 && ::lseek(in.fd, static_cast<off_t>(file.next), SEEK_SET) < 0)
        in.readError = errno;
    if (in.readError != 0) {
        in.atEnd = true;
        return false;
    }
    return refill(in);
}

bool mappedFileShrank(Input& in) {
    struct stat info {};
    if (in.mapped.limit == 0 || ::fstat(in.fd, &info) != 0) return false;
    if (static_cast<std::uint64_t>(info.st_size) >= in.mapped.next) return false;
    in.readError = EIO;
    return true;
}
