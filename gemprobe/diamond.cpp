#include "diamond.h"

#include "input.h"

#include <emmintrin.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

void clearSolid(solid& s) {
    s.walls.clear();
    s.cornerWalls = 0;
    s.current = 0;
    s.used = 0;
}

namespace {

// Small sets stay in a first chunk of 64 KiB; the others have 4 MiB, which
// the program's allocator puts on huge pages (see large_blocks.cpp): a few
// faults instead of one per 4 KiB page.
std::size_t chunkCapacity(std::size_t index) {
    return (index == 0 ? std::size_t{64} << 10 : std::size_t{4} << 20) / sizeof(vec3);
}

// Moves the wall being filled to the start of the next chunk that can hold
// it and one more vertex, allocating one when none is left. A wall that
// already fills a chunk alone replaces that chunk by one twice its size, so
// a wall of n vertices holds at most about 2n, as a doubling array would.
void moveToNextChunk(solid& s, wall& w) {
    std::size_t const needed = std::size_t{w.count} + 1;
    std::size_t next = s.chunks.empty() ? 0 : s.current + 1;
    while (next < s.chunks.size() && s.chunks[next].capacity < needed) ++next;
    if (next == s.chunks.size()) {
        bool const alone = w.count > 0 && w.vertices == s.chunks[s.current].data.get();
        if (alone) next = s.current;
        std::size_t const capacity = std::max(chunkCapacity(next), 2 * needed);
        vertexChunk bigger{std::make_unique_for_overwrite<vec3[]>(capacity), capacity};
        if (alone) {
            std::copy(w.vertices, w.vertices + w.count, bigger.data.get());
            w.vertices = bigger.data.get();
            s.chunks[next] = std::move(bigger);  // frees the old copy
            s.used = w.count;
            return;
        }
        s.chunks.push_back(std::move(bigger));
    }
    vec3* const start = s.chunks[next].data.get();
    if (w.count > 0) std::copy(w.vertices, w.vertices + w.count, start);
    w.vertices = start;
    s.current = next;
    s.used = w.count;
}

}  // namespace

vec3& appendVertexSlowly(solid& s, wall& w) {
    if (s.chunks.empty() || s.used == s.chunks[s.current].capacity) moveToNextChunk(s, w);
    if (w.count == 0) w.vertices = s.chunks[s.current].data.get() + s.used;
    ++w.count;
    return s.chunks[s.current].data[s.used++];
}

void addWall(solid& s, std::vector<vec3> const& vertices) {
    if (s.walls.size() < smallSolidWalls && s.cornerWalls == s.walls.size()) {
        double* const corners = s.integerCorners.data() + 9 * s.cornerWalls++;
        bool integers = vertices.size() >= 3;
        for (std::size_t k = 0; k < 9 && integers; ++k) {
            vec3 const& v = vertices[k / 3];
            long double const x = k % 3 == 0 ? v.x : k % 3 == 1 ? v.y : v.z;
            integers = x == std::nearbyint(x) && std::fabs(x) < 0x1p15L;
            corners[k] = static_cast<double>(x);
        }
        if (!integers) corners[0] = std::nan("");
    }
    wall w;
    for (vec3 const& v : vertices) appendVertex(s, w) = v;
    s.walls.push_back(w);
}

namespace {

// readPoint inline in the loops below: the reader's fast path keeps the
// position in a register across a wall's vertices instead of a call per vertex.
__attribute__((always_inline)) inline bool readPointInline(Input& in, char const* what, vec3& point) {
    return readNumber(in, what, point.x) && readNumber(in, what, point.y) && readNumber(in, what, point.z);
}

}  // namespace

bool readPoint(Input& in, char const* what, vec3& point) { return readPointInline(in, what, point); }

namespace {

// Skips blanks and control whitespace from p on, counting newlines.
__attribute__((always_inline)) inline char const* skipBlanks(char const* p, long& lines) {
    for (;; ++p) {
        if (*p == ' ') continue;
        if (*p == '\n') {
            ++lines;
            continue;
        }
        if (*p >= '\t' && *p <= '\r') continue;
        return p;
    }
}

// A coordinate spelled as an optional '-' and one to four digits, ended by a
// blank or another control byte other than NUL (none of which continues a
// number; the NUL that ends a block may hide more digits): its value, as
// strtold gives it ("-0" is -0), and the same as a double. Otherwise false,
// nothing taken.
__attribute__((always_inline)) inline bool takeShortInteger(char const*& p, long double& value,
                                                            double& integer) {
    char const* q = p;
    unsigned const negative = *q == '-';
    q += negative;
    char const* const first = q;
    unsigned digit = static_cast<unsigned char>(*q) - '0';
    if (digit > 9) return false;
    unsigned magnitude = digit;
    while ((digit = static_cast<unsigned char>(*++q) - '0') <= 9) {
        if (q - first == 4) return false;
        magnitude = magnitude * 10 + digit;
    }
    if (static_cast<unsigned char>(*q - 1) >= ' ') return false;
    storeInteger(value, magnitude, negative * signBitOfExtended);
    integer = negative != 0 ? -static_cast<double>(magnitude) : static_cast<double>(magnitude);
    p = q;
    return true;
}

// Any other spelling, out of line: the short integers' loop stays small.
__attribute__((noinline)) bool readOtherCoordinate(Input& in, long double& value) {
    return readNumber(in, "a vertex coordinate", value);
}

// Where a small solid's tokens are: 64 bytes of the input block classified
// at once (SSE2), so that finding the tokens that are lone digits, with an
// optional '-', costs a few bit operations each. Integer walls mostly look
// like "4  0 1 0  1 1 0  1 0 0  0 0 0".
struct tokenWindow {
    char const* base = nullptr;  // none
    std::uint64_t starts = 0;    // bit i: byte i is not whitespace and byte i - 1 is (a NUL is not)
    // A digit with whitespace before and after it, or a '-' with whitespace
    // before it and such a digit after it (a lone digit and its sign). The
    // byte before the window counts as whitespace.
    std::uint64_t loneDigits = 0;
    std::uint64_t signs = 0;
};

// Bit i set when byte i of the sixteen is in [low, low + span].
inline unsigned bytesInRange(__m128i bytes, char low, char span) {
    __m128i const offset = _mm_sub_epi8(bytes, _mm_set1_epi8(low));
    return static_cast<unsigned>(
        _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_min_epu8(offset, _mm_set1_epi8(span)), offset)));
}

// The window of the 64 bytes from p, which must all be allocated. Bit 63 is
// never a lone digit, its follower being unseen.
tokenWindow windowAt(char const* p) {
    std::uint64_t blank = 0, digit = 0, minus = 0;
    for (int k = 0; k < 4; ++k) {
        __m128i const bytes = _mm_loadu_si128(reinterpret_cast<__m128i const*>(p + 16 * k));
        unsigned const spaces =
            static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8(' '))));
        blank |= static_cast<std::uint64_t>(spaces | bytesInRange(bytes, '\t', '\r' - '\t')) << (16 * k);
        digit |= static_cast<std::uint64_t>(bytesInRange(bytes, '0', 9)) << (16 * k);
        minus |= static_cast<std::uint64_t>(
                     static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('-')))))
                 << (16 * k);
    }
    std::uint64_t const blankBefore = blank << 1 | 1;
    std::uint64_t const blankAfter = blank >> 1;  // bit 63 clear: unseen
    std::uint64_t const loneDigits = digit & blankAfter & blankBefore;
    std::uint64_t const signs = minus & blankBefore & (digit & blankAfter) >> 1;
    return {p, ~blank & blankBefore, loneDigits, signs};
}

// A lone digit's value as an extended and a double, for each of "0" to "9"
// and "-0" to "-9" (code d + 10 * negative).
struct digitValue {
    std::uint64_t significand;
    std::uint64_t signAndExponent;
    double value;
};

inline constexpr std::array<digitValue, 20> digitValues = [] {
    std::array<digitValue, 20> table{};
    for (unsigned code = 0; code < 20; ++code) {
        unsigned const d = code % 10;
        bool const negative = code >= 10;
        int const shift = d == 0 ? 0 : __builtin_clzll(d);
        table[code] = {d == 0 ? 0 : std::uint64_t{d} << shift,
                       (d == 0 ? 0 : extendedExponentBias + 63 - static_cast<unsigned>(shift)) |
                           (negative ? signBitOfExtended : 0),
                       negative ? -static_cast<double>(d) : static_cast<double>(d)};
    }
    return table;
}();

__attribute__((always_inline)) inline void storeDigit(long double& value, unsigned code) {
    digitValue const& v = digitValues[code];
    _mm_storeu_si128(
        reinterpret_cast<__m128i*>(&value),
        _mm_set_epi64x(static_cast<long long>(v.signAndExponent), static_cast<long long>(v.significand)));
}

// The newlines in [from, to), sixteen bytes at a time.
long newlinesIn(char const* from, char const* to) {
    long lines = 0;
    while (to - from >= 16) {
        // Each compare adds 1 (as -1) to a byte of `counts`; at most 255 per run.
        __m128i counts = _mm_setzero_si128();
        for (int k = 0; k < 255 && to - from >= 16; ++k, from += 16) {
            __m128i const bytes = _mm_loadu_si128(reinterpret_cast<__m128i const*>(from));
            counts = _mm_sub_epi8(counts, _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n')));
        }
        __m128i const sums = _mm_sad_epu8(counts, _mm_setzero_si128());
        lines += _mm_cvtsi128_si32(sums) + _mm_extract_epi16(sums, 4);
    }
    for (; from != to; ++from) lines += *from == '\n';
    return lines;
}

// Reads the counts and coordinates of a small solid. The lone digits ahead
// are decoded from a window into a list, in one tight loop, and taken from
// it one by one; other short integers take takeShortInteger, everything
// else the general readers. The block position stays in a register (the
// values' stores could alias `in`), and `in` is brought up to date around
// every call that reads it. Newlines are counted then, over all the bytes
// taken since: they lie in one block.
struct smallSolidReader {
    Input& in;
    char const* p;
    char const* synced;  // in.line counts the newlines before here
    tokenWindow window{};
    unsigned decoded = 0;  // tokens in the list
    unsigned next = 0;     // the next of them to take
    unsigned char code[32]{};
    unsigned char end[32]{};  // offset after the token

    // Decodes the lone digits from p on, up to the first other token: from
    // the window while it holds 16 bytes beyond p, else from a fresh one when
    // the block's allocation holds 64 bytes from p; otherwise none.
    __attribute__((noinline)) void decode() {
        next = decoded = 0;
        if (window.base == nullptr || p - window.base > 48) {
            window.base = nullptr;
            if (in.end + blockPadding - p < 64) return;
            window = windowAt(p);
        }
        unsigned const offset = static_cast<unsigned>(p - window.base);
        std::uint64_t starts = window.starts >> offset << offset;
        std::uint64_t const lone = window.loneDigits | window.signs;
        unsigned n = 0;
        while (starts != 0) {
            unsigned const at = static_cast<unsigned>(__builtin_ctzll(starts));
            if ((lone >> at & 1) == 0) break;
            unsigned const negative = window.signs >> at & 1;
            code[n] = static_cast<unsigned char>(window.base[at + negative] - '0' + 10 * negative);
            end[n] = static_cast<unsigned char>(at + negative + 1);
            ++n;
            starts &= starts - 1;
        }
        decoded = n;
    }

    // The general readers may refill the block: the window is then stale.
    void sync() {
        in.line += newlinesIn(synced, p);
        in.pos = synced = p;
        window.base = nullptr;
        next = decoded = 0;
    }
    void resume() { p = synced = in.pos; }

    // The next n tokens, when they are all lone digits in one window
    // (decoded afresh from p if the list holds fewer), else nullptr.
    __attribute__((always_inline)) inline unsigned char const* take(unsigned n) {
        if (decoded - next < n) {
            window.base = nullptr;
            decode();
            if (decoded < n) return nullptr;
        }
        unsigned char const* const codes = code + next;
        next += n;
        p = window.base + end[next - 1];
        return codes;
    }

    __attribute__((always_inline)) inline bool coordinate(long double& value, double& integer) {
        if (next == decoded) decode();
        if (next < decoded) {
            storeDigit(value, code[next]);
            integer = digitValues[code[next]].value;
            p = window.base + end[next++];
            return true;
        }
        long ignored = 0;  // counted in sync
        p = skipBlanks(p, ignored);
        if (takeShortInteger(p, value, integer)) return true;
        integer = std::numeric_limits<double>::quiet_NaN();
        sync();
        bool const read = readOtherCoordinate(in, value);
        resume();
        return read;
    }
    __attribute__((always_inline)) inline bool point(vec3& vertex, double* integers) {
        return coordinate(vertex.x, integers[0]) && coordinate(vertex.y, integers[1]) &&
               coordinate(vertex.z, integers[2]);
    }
    __attribute__((always_inline)) inline bool count(char const* what, int& value) {
        if (next == decoded) decode();
        if (next < decoded && code[next] < 10) {
            value = code[next];
            p = window.base + end[next++];
            return true;
        }
        sync();
        bool const read = readCount(in, what, value);
        resume();
        return read;
    }
};

// The walls of a small solid, each wall's first three vertices also into
// its nine integer corners (NaN first unless all nine are short integers).
bool readSmallSolid(Input& in, solid& diamond, int wallCount) {
    smallSolidReader reader{in, in.pos, in.pos, {}, 0, 0, {}, {}};
    for (int i = 0; i < wallCount; ++i) {
        int vertexCount = 0;
        if (!reader.count("the number of vertices of a wall", vertexCount)) return false;
        if (vertexCount < 3) {
            reader.sync();
            return failExpected(in, "a wall of at least 3 vertices",
                                std::to_string(vertexCount) + (vertexCount == 1 ? " vertex" : " vertices"));
        }
        // As readDiament: only the first two walls keep more than three vertices.
        int const kept = i < 2 ? vertexCount : 3;
        double* const corners = diamond.integerCorners.data() + 9 * static_cast<std::size_t>(i);
        wall w;
        // Commonly the whole wall is lone digits: taken at once.
        unsigned char const* const codes = vertexCount <= 10 ? reader.take(3 * vertexCount) : nullptr;
        if (codes != nullptr) {
            for (int v = 0; v < kept; ++v) {
                vec3& vertex = appendVertex(diamond, w);
                storeDigit(vertex.x, codes[3 * v]);
                storeDigit(vertex.y, codes[3 * v + 1]);
                storeDigit(vertex.z, codes[3 * v + 2]);
            }
            for (int k = 0; k < 9; ++k) corners[k] = digitValues[codes[k]].value;
            diamond.walls.push_back(w);
            diamond.cornerWalls = diamond.walls.size();
            continue;
        }
        bool read = reader.point(appendVertex(diamond, w), corners) &&
                    reader.point(appendVertex(diamond, w), corners + 3) &&
                    reader.point(appendVertex(diamond, w), corners + 6);
        double ignored[3];
        vec3 dropped;
        for (int v = 3; v < vertexCount && read; ++v)
            read = reader.point(v < kept ? appendVertex(diamond, w) : dropped, ignored);
        if (!read) return false;
        double sum = 0;  // NaN exactly when one of them is
        for (int k = 0; k < 9; ++k) sum += corners[k];
        if (std::isnan(sum)) corners[0] = sum;
        diamond.walls.push_back(w);
        diamond.cornerWalls = diamond.walls.size();
    }
    reader.sync();
    return true;
}

}  // namespace

bool readDiament(Input& in, solid& diamond) {
    clearSolid(diamond);
    int wallCount = 0;
    if (!readCount(in, "the number of walls", wallCount)) return false;
    if (wallCount == 1) return failExpected(in, "a solid of at least 2 walls", "1 wall");
    // Up to 1 MiB on the word of the count; beyond that the array grows with the walls read.
    diamond.walls.reserve(static_cast<std::size_t>(std::clamp(wallCount, 0, 1 << 16)));
    if (wallCount > 0 && static_cast<std::size_t>(wallCount) < smallSolidWalls)
        return readSmallSolid(in, diamond, wallCount);
    for (int i = 0; i < wallCount; ++i) {
        int vertexCount = 0;
        if (!readCount(in, "the number of vertices of a wall", vertexCount)) return false;
        if (vertexCount < 3) {
            return failExpected(in, "a wall of at least 3 vertices",
                                std::to_string(vertexCount) + (vertexCount == 1 ? " vertex" : " vertices"));
        }
        // Only the first two walls can be a reference, so only they keep
        // every vertex; the rest of a later wall is read and checked, then
        // dropped. Both arrays grow with the data read, never with a count.
        int const kept = i < 2 ? vertexCount : 3;
        wall w;
        for (int v = 0; v < kept; ++v) {
            if (!readPointInline(in, "a vertex coordinate", appendVertex(diamond, w))) return false;
        }
        vec3 dropped;
        for (int v = kept; v < vertexCount; ++v) {
            if (!readPointInline(in, "a vertex coordinate", dropped)) return false;
        }
        diamond.walls.push_back(w);
    }
    return true;
}

void calculateOrientations(solid& diamond) {
    if (diamond.walls.size() < 2) return;  // no reference wall; the reader rejects this
    for (std::size_t i = 0; i < diamond.walls.size(); ++i) {
        wall& w = diamond.walls[i];
        wall const& reference = diamond.walls[i == 0 ? 1 : 0];
        vec3 const* const p = verticesOf(diamond, w);
        vec3 const p0 = p[0];
        vec3 const edge1 = p[1] - p0;
        vec3 const edge2 = p[2] - p0;
        vec3 const* const r = verticesOf(diamond, reference);
        for (std::uint32_t k = 0; k < reference.count && w.orientation == 0; ++k) {
            w.orientation = det(edge1, edge2, r[k] - p0);
        }
    }
}
