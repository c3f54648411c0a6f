// bench_vectorscan_count [-s] [-t]: motifscan's counts computed with
// Vectorscan, the SIMD multi-pattern engine, as a peer to measure against.
// Not part of any program; built only when libvectorscan-dev (pkg-config
// libhs) is present.
//
// Parses the tasks as motifscan does on well-formed input (task count; per
// task the pattern count, the whitespace after it, the pattern lines, and the
// message, ended by the first byte outside "A".."Z" and "*", which is
// consumed) and compiles each task's patterns as literals. Two ways to run:
//
// - block mode (the default): reads the whole of standard input with read()
//   into one buffer and scans each message with one hs_scan call;
// - streaming mode (-s), as a stream filter uses the engine: the patterns are
//   compiled in HS_MODE_STREAM, the input is read in 256 KiB read() blocks
//   into one buffer, and each block's share of the message goes to
//   hs_scan_stream; the stream is closed where the message ends. -b sets
//   another block size, for checking that counts do not depend on where the
//   blocks end.
//
// The count is a greedy pass over the occurrences in order of their end: an
// occurrence is taken when it starts (end minus its length) at or after the
// end of the last one taken. Several patterns may end at the same byte; the
// first of them that starts late enough is taken, and every later one then
// starts before that end, so the order among them does not matter. A stream
// reports ends as offsets from the start of the message, whatever the block
// edges, so the same callback serves both modes. Patterns that can never
// complete (empty, or holding other bytes) are left out, as motifscan leaves
// them out.
//
// A peer for the message shapes: Vectorscan refuses very long literals (a
// pattern of 1 MB is "Pattern length exceeds limit") and each task compiles a
// database afresh, which takes seconds over 200,000 small tasks.
//
// With -t it also writes to standard error "<scan> <compile>": the CPU
// seconds spent finding the messages' ends and scanning them (in streaming
// mode with the read() calls for the message blocks, which a stream filter
// cannot separate from its scan), and those spent in hs_compile_lit_multi
// and allocating the scratch and stream state.

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
#include <string>
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

// One task's patterns: those that can complete, as pointers and lengths for
// hs_compile_lit_multi, and the lengths again for the callback.
struct Patterns {
    std::vector<char const*> bytes;
    std::vector<std::size_t> lengths;
    std::vector<unsigned long long> matchLengths;
    std::vector<unsigned> flags, ids;

    void clear() {
        bytes.clear();
        lengths.clear();
    }
    void add(std::string_view line) {
        if (line.empty() || messageEnd(line.data(), line.data() + line.size()) != line.data() + line.size())
            return;
        bytes.push_back(line.data());
        lengths.push_back(line.size());
    }
};

struct Clock {
    double scanning = 0;
    double compiling = 0;
};

hs_database_t* compile(Patterns& patterns, unsigned mode, hs_scratch_t*& scratch, Clock& clock) {
    double const started = cpuSeconds();
    auto const count = static_cast<unsigned>(patterns.bytes.size());
    patterns.flags.assign(count, 0);
    patterns.ids.resize(count);
    patterns.matchLengths.resize(count);
    for (unsigned k = 0; k < count; ++k) {
        patterns.ids[k] = k;
        patterns.matchLengths[k] = patterns.lengths[k];
    }
    hs_database_t* database = nullptr;
    hs_compile_error_t* error = nullptr;
    if (hs_compile_lit_multi(patterns.bytes.data(), patterns.flags.data(), patterns.ids.data(),
                             patterns.lengths.data(), count, mode, nullptr, &database,
                             &error) != HS_SUCCESS) {
        std::fprintf(stderr, "bench_vectorscan_count: %s\n", error->message);
        std::exit(1);
    }
    if (hs_alloc_scratch(database, &scratch) != HS_SUCCESS) fail("cannot allocate scratch space");
    clock.compiling += cpuSeconds() - started;
    return database;
}

void blockMode(Clock& clock) {
    Text const input = readAll();
    Cursor at{input.bytes, input.bytes + input.size};
    long tasks = 0;
    if (!readNumber(at, tasks)) fail("no task count");
    hs_scratch_t* scratch = nullptr;
    Patterns patterns;
    for (long task = 0; task < tasks; ++task) {
        long m = 0;
        if (readNumber(at, m)) {
            if (m < 0) fail("negative pattern count");
            skipSpace(at);
        } else {
            m = 0;
        }
        patterns.clear();
        for (long k = 0; k < m; ++k) {
            if (at.pos == at.end) fail("input ends in the pattern lines");
            auto const* newline = static_cast<char const*>(std::memchr(at.pos, '\n', at.end - at.pos));
            char const* const lineEnd = newline != nullptr ? newline : at.end;
            patterns.add(std::string_view(at.pos, static_cast<std::size_t>(lineEnd - at.pos)));
            at.pos = newline != nullptr ? newline + 1 : at.end;
        }
        char const* const message = at.pos;
        double const started = cpuSeconds();
        char const* const stop = messageEnd(at.pos, at.end);
        clock.scanning += cpuSeconds() - started;
        at.pos = stop == at.end ? stop : stop + 1;
        auto const messageLength = static_cast<std::size_t>(stop - message);
        if (messageLength > UINT_MAX) fail("message longer than one block scan takes");

        Greedy greedy{&patterns.matchLengths};
        if (!patterns.bytes.empty() && messageLength != 0) {
            hs_database_t* const database = compile(patterns, HS_MODE_BLOCK, scratch, clock);
            double const scanStarted = cpuSeconds();
            if (hs_scan(database, message, static_cast<unsigned>(messageLength), 0, scratch, onMatch,
                        &greedy) != HS_SUCCESS)
                fail("scan failed");
            clock.scanning += cpuSeconds() - scanStarted;
            hs_free_database(database);
            if (greedy.outOfOrder) fail("matches were reported out of order of their end");
        }
        std::printf("%lld\n", greedy.count);
    }
    hs_free_scratch(scratch);
}

// Standard input through one buffer of 256 KiB, refilled by read() when used
// up.
struct Stream {
    std::size_t blockBytes = 256 * 1024;
    std::vector<char> block;
    std::size_t pos = 0, size = 0;
    bool ended = false;

    // False at the end of the input.
    bool fill() {
        if (pos < size) return true;
        pos = size = 0;
        while (!ended) {
            ssize_t const got = read(0, block.data(), blockBytes);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) fail("read error");
            if (got == 0) ended = true;
            size = static_cast<std::size_t>(got > 0 ? got : 0);
            return got > 0;
        }
        return false;
    }
    int peek() { return fill() ? static_cast<unsigned char>(block[pos]) : -1; }
};

void skipSpace(Stream& in) {
    for (int c = in.peek(); c >= 0 && isSpace(static_cast<char>(c)); c = in.peek()) ++in.pos;
}

bool readNumber(Stream& in, long& value) {
    skipSpace(in);
    int c = in.peek();
    bool const negative = c == '-';
    if (c == '-' || c == '+') {
        ++in.pos;
        c = in.peek();
    }
    if (c < '0' || c > '9') return false;
    value = 0;
    for (; c >= '0' && c <= '9'; c = in.peek()) {
        value = value * 10 + (c - '0');
        ++in.pos;
    }
    if (negative) value = -value;
    return true;
}

void streamingMode(Clock& clock, std::size_t blockBytes) {
    Stream in{blockBytes, std::vector<char>(blockBytes)};
    long tasks = 0;
    if (!readNumber(in, tasks)) fail("no task count");
    hs_scratch_t* scratch = nullptr;
    Patterns patterns;
    std::string lines;  // the task's pattern lines, each ended by a newline
    for (long task = 0; task < tasks; ++task) {
        long m = 0;
        if (readNumber(in, m)) {
            if (m < 0) fail("negative pattern count");
            skipSpace(in);
        } else {
            m = 0;
        }
        lines.clear();
        for (long k = 0; k < m; ++k) {
            for (;;) {
                if (!in.fill()) fail("input ends in the pattern lines");
                char const* const from = in.block.data() + in.pos;
                auto const* newline = static_cast<char const*>(std::memchr(from, '\n', in.size - in.pos));
                char const* const until = newline != nullptr ? newline + 1 : in.block.data() + in.size;
                lines.append(from, until);
                in.pos += static_cast<std::size_t>(until - from);
                if (newline != nullptr) break;
            }
        }
        // Pointers into `lines` only once it has stopped growing.
        patterns.clear();
        for (std::size_t from = 0; from < lines.size();) {
            std::size_t const newline = lines.find('\n', from);
            patterns.add(std::string_view(lines).substr(from, newline - from));
            from = newline + 1;
        }

        Greedy greedy{&patterns.matchLengths};
        hs_database_t* database = nullptr;
        hs_stream_t* stream = nullptr;
        if (!patterns.bytes.empty()) {
            database = compile(patterns, HS_MODE_STREAM, scratch, clock);
            double const started = cpuSeconds();
            if (hs_open_stream(database, 0, &stream) != HS_SUCCESS) fail("cannot open a stream");
            clock.compiling += cpuSeconds() - started;
        }
        double const started = cpuSeconds();
        while (in.fill()) {
            char const* const from = in.block.data() + in.pos;
            char const* const end = in.block.data() + in.size;
            char const* const stop = messageEnd(from, end);
            if (stream != nullptr && stop != from &&
                hs_scan_stream(stream, from, static_cast<unsigned>(stop - from), 0, scratch, onMatch,
                               &greedy) != HS_SUCCESS)
                fail("scan failed");
            in.pos += static_cast<std::size_t>(stop - from);
            if (stop != end) {
                ++in.pos;
                break;
            }
        }
        if (stream != nullptr && hs_close_stream(stream, scratch, onMatch, &greedy) != HS_SUCCESS)
            fail("cannot close the stream");
        clock.scanning += cpuSeconds() - started;
        if (database != nullptr) hs_free_database(database);
        if (greedy.outOfOrder) fail("matches were reported out of order of their end");
        std::printf("%lld\n", greedy.count);
    }
    hs_free_scratch(scratch);
}

}  // namespace

int main(int argc, char** argv) {
    bool timing = false, streaming = false;
    std::size_t blockBytes = 256 * 1024;
    for (int k = 1; k < argc; ++k) {
        if (std::strcmp(argv[k], "-t") == 0) {
            timing = true;
        } else if (std::strcmp(argv[k], "-s") == 0) {
            streaming = true;
        } else if (std::strcmp(argv[k], "-b") == 0 && k + 1 < argc && std::atol(argv[k + 1]) > 0) {
            blockBytes = static_cast<std::size_t>(std::atol(argv[++k]));
        } else {
            std::fprintf(stderr, "usage: bench_vectorscan_count [-s [-b BLOCK_BYTES]] [-t] < INPUT\n");
            return 2;
        }
    }
    Clock clock;
    if (streaming) {
        streamingMode(clock, blockBytes);
    } else {
        blockMode(clock);
    }
    if (timing) std::fprintf(stderr, "%.4f %.4f\n", clock.scanning, clock.compiling);
    return 0;
}
