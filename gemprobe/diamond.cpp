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

namespace gemprobe {

namespace {

// readPoint inline in the loops below: the reader's fast path keeps the
// position in a register across a wall's vertices instead of a call per vertex.
__attribute__((always_inline)) inline bool readPointInline(input& in, char const* what, vec3& point) {
    return readNumber(in, what, point.x) && readNumber(in, what, point.y) && readNumber(in, what, point.z);
}

}  // namespace

bool readPoint(input& in, char const* what, vec3& point) { return readPointInline(in, what, point); }

namespace {

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
__attribute__((noinline)) bool readOtherCoordinate(input& in, long double& value) {
    return readNumber(in, "a vertex coordinate", value);
}

// Where a small solid's tokens are: 64 bytes of the input block classified
// at once (SSE2), so that finding the tokens that are lone digits, with an
// optional '-', costs a few bit operations each. Integer walls mostly look
// like "4  0 1 0  1 1 0  1 0 0  0 0 0".
struct tokenWindow {
    char const* base = nullptr;  // none
    std::uint64_t starts = 0;    // bit i: byte i is not whitespace and byte i - 1 is (a NUL is not)
    // Starts of lone digits: a digit with whitespace before and after it, or
    // a '-' with whitespace before it and such a digit after it (signs). The
    // byte before the window counts as whitespace.
    std::uint64_t lone = 0;
    std::uint64_t signs = 0;
    std::uint64_t blank = 0;  // bit i: byte i is whitespace
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
    return {p, ~blank & blankBefore, loneDigits | signs, signs, blank};
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

// The set bits of x (POPCNT is not assumed; the library's version is a call).
inline unsigned bitCount(std::uint64_t x) {
    x -= (x >> 1) & 0x5555555555555555u;
    x = (x & 0x3333333333333333u) + ((x >> 2) & 0x3333333333333333u);
    x = (x + (x >> 4)) & 0x0f0f0f0f0f0f0f0fu;
    return static_cast<unsigned>((x * 0x0101010101010101u) >> 56);
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

// Reads the counts and coordinates of a small solid. Lone digits are taken
// straight from a window's masks, a whole wall's at once where they all are;
// other short integers take takeShortInteger, everything else the general
// readers. The block position stays in a register (the values' stores could
// alias `in`), and `in` is brought up to date around every call that reads
// it. Newlines are counted then, over all the bytes taken since: they lie in
// one block.
struct smallSolidReader {
    input& in;
    char const* p;
    char const* synced;  // in.line counts the newlines before here
    tokenWindow window{};

    // A window holding at least `ahead` bytes from p on: the current one, or
    // a fresh one from p if the block's allocation holds 64 bytes from p.
    __attribute__((always_inline)) inline bool windowAhead(std::ptrdiff_t ahead) {
        if (window.base != nullptr && window.base + 64 - p >= ahead) return true;
        window.base = nullptr;
        if (in.end + blockPadding - p < 64) return false;
        window = windowAt(p);
        return true;
    }

    // The window's token starts from p on (p within the window).
    // None when the first byte from p on that is not whitespace starts no
    // token: a control byte right after a number ("1\x01"), which the
    // general readers report.
    std::uint64_t startsAhead() const {
        unsigned const offset = static_cast<unsigned>(p - window.base);
        std::uint64_t const ahead = window.starts >> offset << offset;
        std::uint64_t const nonBlank = ~window.blank >> offset << offset;
        if ((ahead & nonBlank & (0 - nonBlank)) == 0 && nonBlank != 0) return 0;
        return ahead;
    }

    // The code (digit, plus 10 for a '-') of the token starting at bit `at`
    // of the window, which is a lone digit; `after` gets its end.
    __attribute__((always_inline)) inline unsigned codeAt(unsigned at, unsigned& after) const {
        unsigned const negative = window.signs >> at & 1;
        after = at + negative + 1;
        return static_cast<unsigned>(window.base[at + negative] - '0') + 10 * negative;
    }

    // The next token's code when it is a lone digit in the window, p moved
    // past it; otherwise -1, p left where it was.
    __attribute__((always_inline)) inline int nextLoneDigit() {
        if (!windowAhead(16)) return -1;
        std::uint64_t const starts = startsAhead();
        if (starts == 0) return -1;
        unsigned const at = static_cast<unsigned>(__builtin_ctzll(starts));
        if ((window.lone >> at & 1) == 0) return -1;
        unsigned after = 0;
        int const code = static_cast<int>(codeAt(at, after));
        p = window.base + after;
        return code;
    }

    // The general readers may refill the block: the window is then stale.
    void sync() {
        in.line += newlinesIn(synced, p);
        in.pos = synced = p;
        window.base = nullptr;
    }
    void resume() { p = synced = in.pos; }

    // The 3 * count coordinates of a wall of count vertices when all are lone
    // digits: into vertices[0] to vertices[kept - 1] and the nine corners.
    // Otherwise false, nothing taken. The window is built afresh once if the
    // wall runs past its end.
    bool wallOfLoneDigits(vec3* vertices, int kept, int count, double* corners) {
        int const n = 3 * count;
        for (int attempt = 0; attempt < 2; ++attempt) {
            if (!windowAhead(attempt == 0 ? 1 : 64)) return false;
            std::uint64_t const starts = startsAhead();
            // Enough lone digits before the first token of another kind?
            std::uint64_t const other = starts & ~window.lone;
            std::uint64_t const lone = other == 0 ? starts : starts & ((other & (0 - other)) - 1);
            if (bitCount(lone) < static_cast<unsigned>(n)) {
                // A token of another kind within the wall (not one the
                // window's end left unclassified), or a wall longer than a
                // fresh window.
                if ((other != 0 && __builtin_ctzll(other) < 61) || window.base == p) return false;
                window.base = nullptr;
                continue;
            }
            std::uint64_t rest = starts;
            unsigned after = 0;
            auto next = [&] {
                unsigned const code = codeAt(static_cast<unsigned>(__builtin_ctzll(rest)), after);
                rest &= rest - 1;
                return code;
            };
            for (int v = 0; v < count; ++v) {
                unsigned const x = next(), y = next(), z = next();
                if (v < kept) {
                    storeDigit(vertices[v].x, x);
                    storeDigit(vertices[v].y, y);
                    storeDigit(vertices[v].z, z);
                }
                if (v < 3) {
                    corners[3 * v] = digitValues[x].value;
                    corners[3 * v + 1] = digitValues[y].value;
                    corners[3 * v + 2] = digitValues[z].value;
                }
            }
            p = window.base + after;
            return true;
        }
        return false;
    }

    __attribute__((always_inline)) inline bool coordinate(long double& value, double& integer) {
        if (int const code = nextLoneDigit(); code >= 0) {
            storeDigit(value, static_cast<unsigned>(code));
            integer = digitValues[static_cast<unsigned>(code)].value;
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
    bool point(vec3& vertex, double* integers) {
        return coordinate(vertex.x, integers[0]) && coordinate(vertex.y, integers[1]) &&
               coordinate(vertex.z, integers[2]);
    }
    // As readCount would read it ("-0" is 0, and "-3" is -3).
    __attribute__((always_inline)) inline bool count(char const* what, int& value) {
        if (int const code = nextLoneDigit(); code >= 0) {
            value = code < 10 ? code : 10 - code;
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
bool readSmallSolid(input& in, solid& diamond, int wallCount) {
    smallSolidReader reader{in, in.pos, in.pos};
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
        double ignored[3]{};
        vec3 dropped{};
        if (vertexCount <= 10) {
            // Room for the few vertices first (a wall's vertices stay
            // together), then commonly all of them at once.
            for (int v = 0; v < kept; ++v) appendVertex(diamond, w);
            if (!reader.wallOfLoneDigits(w.vertices, kept, vertexCount, corners)) {
                for (int v = 0; v < vertexCount; ++v) {
                    if (!reader.point(v < kept ? w.vertices[v] : dropped, v < 3 ? corners + 3 * v : ignored))
                        return false;
                }
                double sum = 0;  // NaN exactly when one of them is
                for (int k = 0; k < 9; ++k) sum += corners[k];
                if (std::isnan(sum)) corners[0] = sum;
            }
        } else {
            // Memory grows only with the vertices read, never with a count.
            bool read = reader.point(appendVertex(diamond, w), corners) &&
                        reader.point(appendVertex(diamond, w), corners + 3) &&
                        reader.point(appendVertex(diamond, w), corners + 6);
            for (int v = 3; v < vertexCount && read; ++v)
                read = reader.point(v < kept ? appendVertex(diamond, w) : dropped, ignored);
            if (!read) return false;
            double sum = 0;
            for (int k = 0; k < 9; ++k) sum += corners[k];
            if (std::isnan(sum)) corners[0] = sum;
        }
        diamond.walls.push_back(w);
        diamond.cornerWalls = diamond.walls.size();
    }
    reader.sync();
    return true;
}

}  // namespace

bool readDiament(input& in, solid& diamond) {
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

}  // namespace gemprobe
