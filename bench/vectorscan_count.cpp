// bench_vectorscan_count: motifscan's counts computed with Vectorscan, the
// SIMD multi-pattern engine, as a peer to measure against. Not part of any
// program; built only when libvectorscan-dev (pkg-config libhs) is present.
//
// Reads the whole of standard input with read() into one buffer, parses the
// tasks as motifscan does on well-formed input (task count; per task the
// pattern count, the whitespace after it, the pattern lines, and the message,
// ended by the first byte outside "A".."Z" and "*", which is consumed),
// compiles each task's patterns as literals and scans its message in block
// mode. The count is a greedy pass over the occurrences in order of their
// end: an occurrence is taken when it starts (end minus its length) at or
// after the end of the last one taken. Several patterns may end at the same
// byte; the first of them that starts late enough is taken, and every later
// one then starts before that end, so the order among them does not matter.
// Patterns that can never complete (empty, or holding other bytes) are left
// out, as motifscan leaves them out.
//
// A peer for the message shapes: Vectorscan refuses very long literals (a
// pattern of 1 MB is "Pattern length exceeds limit") and each task compiles a
// database afresh, which takes seconds over 200,000 small tasks.
//
// With -t it also writes to standard error the CPU seconds spent finding the
// messages' ends and scanning them, without reading, parsing and compiling.

#include <hs.h>

#include <emmintrin.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

double cpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

[[noreturn]] void fail(char const* what) {
    std::fprintf(stderr, "bench_vectorscan_count: %s\n", what);
    std::exit(1);
}

// Anonymous memory for the input, in huge pages where the kernel grants them:
// faulting in a 100 MB buffer 4 KiB at a time would cost this peer more than
// its scan. Never freed but when it grows; the process ends soon after.
char* allocate(std::size_t bytes) {
    void* const block = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) fail("out of memory");
    madvise(block, bytes, MADV_HUGEPAGE);
    return static_cast<char*>(block);
}

struct Text {
    char* bytes = nullptr;
    std::size_t size = 0;
};

// Everything on standard input, in one allocation when its size is known.
Text readAll() {
    struct stat info {};
    std::size_t capacity = 1 << 20;
    if (fstat(0, &info) == 0 && S_ISREG(info.st_mode)) capacity = static_cast<std::size_t>(info.st_size) + 1;
    Text text{allocate(capacity), 0};
    for (;;) {
        if (text.size == capacity) {
            char* const larger = allocate(2 * capacity);
            std::memcpy(larger, text.bytes, text.size);
            munmap(text.bytes, capacity);
            text.bytes = larger;
            capacity *= 2;
        }
        ssize_t const got = read(0, text.bytes + text.size, capacity - text.size);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) fail("read error");
        if (got == 0) return text;
        text.size += static_cast<std::size_t>(got);
    }
}

bool isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool isSymbol(char c) { return (c >= 'A' && c <= 'Z') || c == '*'; }

struct Cursor {
    char const* pos;
    char const* end;
};

void skipSpace(Cursor& at) {
    while (at.pos != at.end && isSpace(*at.pos)) ++at.pos;
}

// A count as scanf's "%d" reads it; false when no digit follows.
bool readNumber(Cursor& at, long& value) {
    skipSpace(at);
    bool const negative = at.pos != at.end && *at.pos == '-';
    if (at.pos != at.end && (*at.pos == '-' || *at.pos == '+')) ++at.pos;
    if (at.pos == at.end || *at.pos < '0' || *at.pos > '9') return false;
    value = 0;
    while (at.pos != at.end && *at.pos >= '0' && *at.pos <= '9') value = value * 10 + (*at.pos++ - '0');
    if (negative) value = -value;
    return true;
}

// The first byte at or after `from` that is not a message symbol, sixteen
// bytes at a time.
char const* messageEnd(char const* from, char const* end) {
    __m128i const a = _mm_set1_epi8('A'), span = _mm_set1_epi8(25), star = _mm_set1_epi8('*');
    while (end - from >= 16) {
        __m128i const bytes = _mm_loadu_si128(reinterpret_cast<__m128i const*>(from));
        __m128i const offset = _mm_sub_epi8(bytes, a);
        __m128i const letter = _mm_cmpeq_epi8(_mm_min_epu8(offset, span), offset);
        __m128i const symbol = _mm_or_si128(letter, _mm_cmpeq_epi8(bytes, star));
        unsigned const others = ~static_cast<unsigned>(_mm_movemask_epi8(symbol)) & 0xffffu;
        if (others != 0) return from + __builtin_ctz(others);
        from += 16;
    }
    while (from != end && isSymbol(*from)) ++from;
    return from;
}

struct Greedy {
    std::vector<unsigned long long> const* lengths;
    unsigned long long lastTaken = 0;  // end of the last occurrence taken
    unsigned long long lastSeen = 0;   // end of the last match reported
    long long count = 0;
    bool outOfOrder = false;
};

int onMatch(unsigned id, unsigned long long, unsigned long long to, unsigned, void* context) {
    auto& greedy = *static_cast<Greedy*>(context);
    // The greedy rule needs matches in order of their end; say so if not.
    if (to < greedy.lastSeen) greedy.outOfOrder = true;
    greedy.lastSeen = to;
    if (to - (*greedy.lengths)[id] >= greedy.lastTaken) {
        greedy.lastTaken = to;
        ++greedy.count;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    bool const timing = argc > 1 && std::strcmp(argv[1], "-t") == 0;
    double scanning = 0;
    Text const input = readAll();
    Cursor at{input.bytes, input.bytes + input.size};
    long tasks = 0;
    if (!readNumber(at, tasks)) fail("no task count");
    hs_scratch_t* scratch = nullptr;
    std::vector<char const*> patterns;
    std::vector<std::size_t> lengths;
    std::vector<unsigned long long> matchLengths;
    std::vector<unsigned> flags, ids;
    for (long task = 0; task < tasks; ++task) {
        long m = 0;
        if (readNumber(at, m)) {
            if (m < 0) fail("negative pattern count");
            skipSpace(at);
        } else {
            m = 0;
        }
        patterns.clear();
        lengths.clear();
        for (long k = 0; k < m; ++k) {
            if (at.pos == at.end) fail("input ends in the pattern lines");
            auto const* newline = static_cast<char const*>(std::memchr(at.pos, '\n', at.end - at.pos));
            char const* const lineEnd = newline != nullptr ? newline : at.end;
            std::string_view const line(at.pos, static_cast<std::size_t>(lineEnd - at.pos));
            at.pos = newline != nullptr ? newline + 1 : at.end;
            if (line.empty() ||
                messageEnd(line.data(), line.data() + line.size()) != line.data() + line.size())
                continue;
            patterns.push_back(line.data());
            lengths.push_back(line.size());
        }
        char const* const message = at.pos;
        double const started = cpuSeconds();
        char const* const stop = messageEnd(at.pos, at.end);
        scanning += cpuSeconds() - started;
        at.pos = stop == at.end ? stop : stop + 1;
        auto const messageLength = static_cast<std::size_t>(stop - message);
        if (messageLength > UINT_MAX) fail("message longer than one block scan takes");

        Greedy greedy{&matchLengths};
        if (!patterns.empty() && messageLength != 0) {
            auto const count = static_cast<unsigned>(patterns.size());
            flags.assign(count, 0);
            ids.resize(count);
            matchLengths.resize(count);
            for (unsigned k = 0; k < count; ++k) {
                ids[k] = k;
                matchLengths[k] = lengths[k];
            }
            hs_database_t* database = nullptr;
            hs_compile_error_t* error = nullptr;
            if (hs_compile_lit_multi(patterns.data(), flags.data(), ids.data(), lengths.data(), count,
                                     HS_MODE_BLOCK, nullptr, &database, &error) != HS_SUCCESS) {
                std::fprintf(stderr, "bench_vectorscan_count: %s\n", error->message);
                return 1;
            }
            if (hs_alloc_scratch(database, &scratch) != HS_SUCCESS) fail("cannot allocate scratch space");
            double const scanStarted = cpuSeconds();
            if (hs_scan(database, message, static_cast<unsigned>(messageLength), 0, scratch, onMatch,
                        &greedy) != HS_SUCCESS)
                fail("scan failed");
            scanning += cpuSeconds() - scanStarted;
            hs_free_database(database);
            if (greedy.outOfOrder) fail("matches were reported out of order of their end");
        }
        std::printf("%lld\n", greedy.count);
    }
    hs_free_scratch(scratch);
    if (timing) std::fprintf(stderr, "%.4f\n", scanning);
    return 0;
}
