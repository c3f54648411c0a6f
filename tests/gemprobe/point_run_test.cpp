// The two-stage point loop against the one-number-at-a-time loop it replaced,
// on every engine: the same points, stop, newline count and verdicts on
// random layouts of plain and other spellings, placed at every offset of a
// 64-byte stride, with blocks that end inside a token, limits anywhere and
// output room for few points. And each engine's token lists and values
// against plain scalar models of them.

#include "point_run.h"
#include "input.h"
#include "point_tokens.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

using namespace gemprobe;

namespace {

// The loop as it was before it had stages: blanks byte by byte, then the
// reader's fast conversion, three numbers per point.
pointRun modelScan(char const* p, char const* limit, char const* blockEnd, std::size_t maxPoints,
                   pointFilter const& filter, std::vector<plane> const& planes, char* verdicts) {
    pointRun run;
    run.stop = p;
    for (; run.points < maxPoints; ++run.points) {
        long lines = 0;
        char const* after = run.stop;
        vec3 q{};
        for (long double* value : {&q.x, &q.y, &q.z}) {
            while (*after == ' ' || (*after >= '\t' && *after <= '\r')) lines += *after++ == '\n';
            if (after >= (value == &q.x ? limit : blockEnd)) after = nullptr;
            if (after != nullptr) after = parseShortDecimal(after, blockEnd, *value);
            if (after == nullptr) return run;
        }
        std::memcpy(verdicts + 4 * run.points, containsFiltered(filter, planes, q) ? "TAK\n" : "NIE\n", 4);
        run.stop = after;
        run.lines += lines;
    }
    return run;
}

struct Layout {
    std::mt19937_64 rng;
    std::string text;

    unsigned below(unsigned n) { return static_cast<unsigned>(rng() % n); }

    void digits(unsigned n) {
        for (unsigned i = 0; i < n; ++i) text += static_cast<char>('0' + below(10));
    }

    // Mostly the plain spellings the stages take, at every length around
    // their limits; now and then one that sends the point to the general path.
    void number() {
        static char const* const others[] = {"1e5",        "-2E-3", "0x1p1", "inf",  ".5",
                                             "7.",         "1-2",   "3,",    "\x01", "12345678901234567890",
                                             "00000000.5", "-",     "+.",    "4\x7f"};
        if (below(25) == 0) {
            text += others[below(std::size(others))];
            return;
        }
        unsigned const sign = below(6);
        if (sign < 2) text += '-';
        if (sign == 2) text += '+';
        if (below(3) == 0) {
            // Longer spellings: up to 31 digits around the point, leading
            // zeros, exponents.
            if (below(3) == 0) text += std::string(below(12), '0');
            digits(below(14));
            text += '.';
            if (below(3) == 0) text += std::string(below(12), '0');
            digits(below(21));
            if (below(2) == 0) text += (below(2) == 0 ? "e-" : "E") + std::to_string(below(40));
            return;
        }
        digits(below(3) == 0 ? 1 + below(9) : 1 + below(2));
        if (below(5) != 0) {
            text += '.';
            digits(below(3) == 0 ? below(9) : 3);
        }
    }

    void blanks() {
        static char const* const kinds[] = {" ", " ", "\n", "\t", "\r\n", "\v", "\f", "  \n\n", "   "};
        text += kinds[below(std::size(kinds))];
        if (below(30) == 0) text += std::string(70 + below(2200), below(2) == 0 ? ' ' : '\n');
    }
};

// A cube of side 2, so that points take both verdicts and some miss the inner ball.
struct Box {
    std::vector<plane> planes;
    pointFilter filter;
    cellGrid cells;  // as a set of many points has them
    Box() {
        solid diamond;
        auto corner = [](int i) { return vec3{i & 1 ? 2.0L : 0, i & 2 ? 2.0L : 0, i & 4 ? 2.0L : 0}; };
        for (auto const& q :
             {std::array{0, 1, 3, 2}, {4, 6, 7, 5}, {0, 4, 5, 1}, {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 5, 7, 3}})
            addWall(diamond, {corner(q[0]), corner(q[1]), corner(q[2]), corner(q[3])});
        calculateOrientations(diamond);
        planes = planesOf(diamond);
        filter = filterOf(planes);
        cells = gridOf(planes, filter);
    }
};

TEST(PointRun, EveryEngineMatchesTheOneNumberLoop) {
    Box const box;
    ASSERT_GT(box.cells.resolution, 0);
    Layout layout{std::mt19937_64{11}, {}};
    for (int input = 0; input < 300; ++input) {
        layout.text.clear();
        if (input % 2 == 0) layout.blanks();
        for (unsigned point = 0, points = 1 + layout.below(60); point < points; ++point) {
            for (int k = 0; k < 3; ++k) {
                layout.number();
                layout.blanks();
            }
        }
        std::string const& text = layout.text;
        for (std::size_t offset = 0; offset < 64; offset += input % 2 == 0 ? 1 : 13) {
            // The block ends anywhere: mostly after all of it, else inside.
            std::size_t const length = layout.below(3) != 0 ? text.size() : layout.below(text.size() + 1);
            std::vector<char> storage(offset + length + blockPadding);
            for (char& c : storage) c = static_cast<char>('0' + layout.below(10));  // digits past the end
            std::memcpy(storage.data() + offset, text.data(), length);
            char const* const start = storage.data() + offset;
            char const* const blockEnd = start + length;
            storage[offset + length] = '\0';
            char const* const limit = layout.below(4) == 0 ? start + layout.below(length + 1) : blockEnd;
            std::size_t const room = layout.below(4) == 0 ? layout.below(40) : 1000;
            std::string expectedVerdicts(4 * room, '?');
            pointRun const expected =
                modelScan(start, limit, blockEnd, room, box.filter, box.planes, expectedVerdicts.data());
            for (int run = 0; run < 2 * static_cast<int>(std::size(everyPointEngineKind)); ++run) {
                pointEngineKind const kind = everyPointEngineKind[run / 2];
                if (!pointEngineTested(kind)) continue;
                usePointEngine(kind);
                cellGrid const noCells;
                std::string verdicts(4 * room, '?');
                pointRun const actual = scanPoints(start, limit, blockEnd, room, box.filter, box.planes,
                                                   run % 2 == 0 ? noCells : box.cells, verdicts.data());
                std::string const where = "engine " + std::string(pointEngineName(kind)) +
                                          (run % 2 == 0 ? "" : " with cells") + ", input " +
                                          std::to_string(input) + ", offset " + std::to_string(offset) +
                                          ":\n" + std::string(start, length);
                ASSERT_EQ(actual.points, expected.points) << where;
                ASSERT_EQ(actual.stop - start, expected.stop - start) << where;
                ASSERT_EQ(actual.lines, expected.lines) << where;
                ASSERT_EQ(verdicts, expectedVerdicts) << where;
            }
        }
    }
    usePointEngine(pointEngineKind::avx512);  // the best that runs
}

// The first stage against a byte-by-byte list of token starts, the second
// against takePlainToken and roundedValue, token by token.
TEST(PointRun, EngineStagesMatchScalarModels) {
    Layout layout{std::mt19937_64{12}, {}};
    for (int input = 0; input < 2000; ++input) {
        layout.text.clear();
        while (layout.text.size() < 400) {
            layout.number();
            layout.blanks();
        }
        std::size_t const offset = layout.below(64);
        std::size_t const length = layout.below(layout.text.size() + 1);
        std::vector<char> storage(offset + length + blockPadding, 'x');
        std::memcpy(storage.data() + offset, layout.text.data(), length);
        char const* const base = storage.data() + offset;
        storage[offset + length] = '\0';
        std::vector<std::uint32_t> starts;
        std::vector<long> linesBefore;
        long lines = 0;
        bool blankBefore = true;
        for (std::size_t i = 0; i < length; ++i) {
            bool const blank = base[i] == ' ' || (base[i] >= '\t' && base[i] <= '\r');
            if (!blank && blankBefore) {
                starts.push_back(static_cast<std::uint32_t>(i));
                linesBefore.push_back(lines);
            }
            lines += base[i] == '\n';
            blankBefore = blank;
        }
        unsigned const wanted = 1 + layout.below(3 * batchPoints);
        for (pointEngine const* engine : {&sse2Engine, &avx2Engine, &avx512Engine}) {
            if (engine == &avx2Engine && !avx2EngineRuns()) continue;
            if (engine == &avx512Engine && !avx512EngineRuns()) continue;
            tokenList list;
            engine->listTokens(base, base + length, wanted, list);
            // At least `wanted` starts unless the block or the batch's bytes end first.
            ASSERT_LE(list.tokens, starts.size());
            for (unsigned i = 0; i < list.tokens; ++i) {
                ASSERT_EQ(list.starts[i], starts[i]) << input << " token " << i;
                std::uint32_t const at = starts[i];
                std::uint64_t const before =
                    list.newlineMasks[at / 64] & ((std::uint64_t{1} << (at % 64)) - 1);
                ASSERT_EQ(list.linesBeforeChunk[at / 64] + std::popcount(before), linesBefore[i]);
            }
            bool const short_ = list.tokens < wanted;
            ASSERT_TRUE(!short_ || list.tokens == starts.size() || starts[list.tokens] >= 64 * batchChunks);
            tokenValues values;
            unsigned const count = list.tokens < 3 * batchPoints ? list.tokens : 3 * batchPoints;
            unsigned const converted = engine->convertTokens(base, base, list, count, values);
            for (unsigned i = 0; i <= converted && i < count; ++i) {
                plainDecimal d{};
                double expected = 0;
                bool const plain = takePlainToken(base + list.starts[i], d) != nullptr;
                if (plain) expected = roundedValue(d);
                bool const taken = plain || takeLongToken(base + list.starts[i], expected) != nullptr;
                ASSERT_EQ(taken, i < converted) << input << " token " << i;
                if (taken) {
                    ASSERT_EQ(std::bit_cast<std::uint64_t>(values.rounded[i]),
                              std::bit_cast<std::uint64_t>(expected))
                        << input << " token " << i;
                }
            }
        }
    }
}

// roundedValue's division against the extended value rounded to double, on
// random significands at every scale it takes, and on decimals next to the
// midpoints between doubles, where a double rounding would show.
// checkedQuotient, where it decides, against the same values; it must leave
// few of the random ones undecided.
TEST(PointRun, DividedDoublesEqualTheRoundedExtendedValues) {
    std::mt19937_64 rng(13);
    long undecided = 0;
    auto check = [&undecided](std::uint64_t digits, unsigned fraction) {
        for (unsigned signBit : {0u, signBitOfExtended}) {
            plainDecimal const d{digits, fraction, signBit};
            long double extended;
            storeValue(d, extended);
            double expected = 0;
            ASSERT_TRUE(toCertifiedDouble(extended, expected));
            ASSERT_EQ(std::bit_cast<std::uint64_t>(roundedValue(d)), std::bit_cast<std::uint64_t>(expected))
                << digits << " / 10^" << fraction;
            double quotient = 0;
            if (checkedQuotient(digits, fraction, quotient)) {
                ASSERT_EQ(std::bit_cast<std::uint64_t>(quotient) | std::uint64_t{signBit != 0} << 63,
                          std::bit_cast<std::uint64_t>(expected))
                    << digits << " / 10^" << fraction << " checked";
            } else {
                ++undecided;
            }
        }
    };
    for (unsigned fraction = 0; fraction <= 7; ++fraction) {
        std::uint64_t const bound = 10000000 * static_cast<std::uint64_t>(std::pow(10, fraction));
        undecided = 0;
        for (int i = 0; i < 200000; ++i) check(rng() % bound, fraction);
        EXPECT_LT(undecided, 2 * 200000 / 500) << "10^" << fraction;
        for (std::uint64_t digits = 0; digits < 2000; ++digits) check(digits, fraction);
        // The decimals on either side of random midpoints between doubles.
        for (int i = 0; i < 200000; ++i) {
            double const lower =
                std::ldexp(static_cast<double>(rng() >> 11), -static_cast<int>(rng() % 60) - 10);
            long double const midpoint = (static_cast<long double>(lower) + std::nextafter(lower, 1e300)) / 2;
            long double const scaled = midpoint * std::pow(10.0L, fraction);
            if (!(scaled < static_cast<long double>(bound))) continue;
            auto const nearest = static_cast<std::uint64_t>(scaled);
            check(nearest, fraction);
            check(nearest + 1, fraction);
        }
    }
}

}  // namespace

// checkedLongQuotient, where it decides, against strtold's value of the
// same decimal rounded to double: random significands of every length up
// to 2^53 at every scale it takes, and the decimals on either side of
// midpoints between doubles, where a double rounding would show.
TEST(PointRun, CheckedLongQuotientsEqualTheLibraryValue) {
    std::mt19937_64 rng(14);
    long decided = 0;
    long tried = 0;
    auto check = [&](std::uint64_t significand, int k, bool counted) {
        if (significand == 0 || significand >= std::uint64_t{1} << 53) return;
        tried += counted;
        double quotient = 0;
        if (!checkedLongQuotient(significand, k, quotient)) return;
        decided += counted;
        std::string const text = std::to_string(significand) + "e-" + std::to_string(k);
        double expected = 0;
        ASSERT_TRUE(toCertifiedDouble(std::strtold(text.c_str(), nullptr), expected)) << text;
        ASSERT_EQ(std::bit_cast<std::uint64_t>(quotient), std::bit_cast<std::uint64_t>(expected)) << text;
    };
    for (int k = 1; k <= maxExactDoublePowerOfTen; ++k) {
        for (int i = 0; i < 20000; ++i) check(rng() >> (11 + rng() % 53), k, true);
        for (int i = 0; i < 20000; ++i) {
            double const lower = std::ldexp(static_cast<double>(rng() >> 11), -static_cast<int>(rng() % 80));
            long double const midpoint = (static_cast<long double>(lower) + std::nextafter(lower, 1e300)) / 2;
            long double const scaled = midpoint * std::pow(10.0L, k);
            if (!(scaled < 0x1p53L)) continue;
            auto const nearest = static_cast<std::uint64_t>(scaled);
            check(nearest, k, false);
            check(nearest + 1, k, false);
        }
    }
    // Of the random ones, the check leaves few undecided.
    EXPECT_GT(decided, tried * 9 / 10);
}

// Each engine's second stage against strtold on the spellings that printf
// writes, for decimals next to the midpoints between doubles, where a
// double rounding or a wrong check would show: every fraction length from 1
// to 19 digits behind zero to eight integer digits (the shuffled tokens up
// to fifteen bytes, the gathered ones beyond), and %.Ne with printf's
// exponents, the two-digit ones and others. The stages stop only where
// takeLongToken does. The tokens of a batch mix the
// lengths, so that every loop hands over to the next in the middle of a
// batch, and the gather may read back to the block's start, where a few
// tokens are too close to it.
TEST(PointRun, EnginesGivePrintedDecimalsNextToMidpointsTheLibraryValue) {
    std::mt19937_64 rng(15);
    for (int input = 0; input < 300; ++input) {
        std::string text;
        while (text.size() < 3000) {
            double const lower = std::ldexp(static_cast<double>(rng() >> 11), -static_cast<int>(rng() % 90));
            long double const midpoint = (static_cast<long double>(lower) + std::nextafter(lower, 1e300)) / 2;
            char token[80];
            int const digits = 1 + static_cast<int>(rng() % 19);
            if (rng() % 10 == 0) {
                // Powers of two and zeros, which the check leaves to
                // takeLongToken or passes at once.
                double const power = rng() % 4 == 0 ? 0 : std::ldexp(1, static_cast<int>(rng() % 40) - 20);
                std::snprintf(token, sizeof token, "%.*f", digits, power);
            } else if (rng() % 4 == 0) {
                // One digit before the point: the exponent says where it goes.
                int const length = std::snprintf(token, sizeof token, "%.*Le", digits - 1, midpoint);
                // Now and then an exponent of three digits ("e-005").
                if (rng() % 3 == 0) {
                    char* const sign = std::strchr(token, 'e') + 1;
                    std::memmove(sign + 2, sign + 1, static_cast<std::size_t>(token + length - sign));
                    sign[1] = '0';
                }
            } else {
                long double const scaled = midpoint * std::pow(10.0L, digits);
                if (!(scaled < 1e19L)) continue;
                long double const nearest = std::floor(scaled) + static_cast<long double>(rng() % 2);
                std::snprintf(token, sizeof token, "%.*Lf", digits, nearest / std::pow(10.0L, digits));
            }
            if (rng() % 2 == 0) text += '-';
            text += token;
            text += rng() % 8 == 0 ? '\n' : ' ';
        }
        std::vector<char> storage(text.size() + blockPadding, '\0');
        std::memcpy(storage.data(), text.data(), text.size());
        char const* const blockEnd = storage.data() + text.size();
        for (pointEngine const* engine : {&sse2Engine, &avx2Engine, &avx512Engine}) {
            if (engine == &avx2Engine && !avx2EngineRuns()) continue;
            if (engine == &avx512Engine && !avx512EngineRuns()) continue;
            char const* base = storage.data();
            while (base < blockEnd) {
                tokenList list;
                engine->listTokens(base, blockEnd, 3 * batchPoints, list);
                unsigned const count = std::min(list.tokens, 3 * batchPoints);
                if (count == 0) break;
                tokenValues values;
                unsigned const converted = engine->convertTokens(base, storage.data(), list, count, values);
                for (unsigned i = 0; i < count; ++i) {
                    char const* const s = base + list.starts[i];
                    char* end = nullptr;
                    double expected = 0;
                    bool const certified = toCertifiedDouble(std::strtold(s, &end), expected);
                    ASSERT_NE(end, s);
                    if (i >= converted) {
                        // The stage stops where takeLongToken stops (a scale
                        // beyond its reach, a value out of the certified
                        // range): the general path reads that one.
                        double ignored;
                        ASSERT_EQ(takeLongToken(s, ignored), nullptr)
                            << std::string(s, static_cast<std::size_t>(end - s));
                        break;
                    }
                    ASSERT_TRUE(certified);
                    ASSERT_EQ(std::bit_cast<std::uint64_t>(values.rounded[i]),
                              std::bit_cast<std::uint64_t>(expected))
                        << std::string(s, static_cast<std::size_t>(end - s));
                }
                base += list.starts[converted < count ? converted : count - 1] + 1;
                while (base < blockEnd && *base != ' ' && *base != '\n') ++base;
            }
        }
    }
}
