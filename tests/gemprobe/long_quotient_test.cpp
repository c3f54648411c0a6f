// The AVX2 engine's tokens of sixteen to nineteen significant digits, which
// a double does not hold, against strtold: at every scale the gather takes
// (10^-1 to 10^-26, past 10^-22 through takeLongToken), next to midpoints
// between doubles, where the corrected quotient or its check would slip;
// spelt with a point and leading zeros, or with a two- or three-digit exponent.

#include "input.h"
#include "point_tokens.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

using namespace gemprobe;

TEST(LongQuotients, SixteenToNineteenDigitsNextToMidpointsGiveTheLibraryValue) {
    if (!avx2EngineRuns()) GTEST_SKIP();
    std::mt19937_64 rng(17);
    for (int input = 0; input < 800; ++input) {
        std::string text;
        for (unsigned token = 0; token < 3 * batchPoints; ++token) {
            int const k = 1 + static_cast<int>(rng() % maxReciprocalPowerOfTen);
            long double const target =
                std::pow(10.0L, 15 + static_cast<long double>(rng() % 4000) / 1000 - k);
            double const lower = static_cast<double>(target);
            long double const midpoint = (static_cast<long double>(lower) + std::nextafter(lower, 1e300)) / 2;
            std::string w =
                std::to_string(std::min(static_cast<std::uint64_t>(midpoint * std::pow(10.0L, k)) + rng() % 3,
                                        std::uint64_t{9999999999999999999u}));
            int const length = static_cast<int>(w.size());
            char exponent[16];
            std::snprintf(exponent, sizeof exponent, rng() % 4 == 0 ? "e%+04d" : "e%+03d", length - 1 - k);
            if (rng() % 2 == 0 && k + 2 <= 31) {
                w = std::string(static_cast<std::size_t>(std::max(k + 1 - length, 0)), '0') + w;
                text += w.substr(0, w.size() - static_cast<std::size_t>(k)) + "." +
                        w.substr(w.size() - static_cast<std::size_t>(k));
            } else {
                text += w.substr(0, 1) + "." + w.substr(1) + exponent;
            }
            text += rng() % 8 == 0 ? '\n' : ' ';
        }
        std::vector<char> storage(text.size() + blockPadding, '\0');
        std::memcpy(storage.data(), text.data(), text.size());
        char const* const base = storage.data();
        tokenList list;
        avx2Engine.listTokens(base, base + text.size(), 3 * batchPoints, list);
        tokenValues values;
        ASSERT_EQ(avx2Engine.convertTokens(base, base, list, list.tokens, values), list.tokens);
        for (unsigned i = 0; i < list.tokens; ++i) {
            char const* const s = base + list.starts[i];
            double expected = 0;
            ASSERT_TRUE(toCertifiedDouble(std::strtold(s, nullptr), expected));
            ASSERT_EQ(std::bit_cast<std::uint64_t>(values.rounded[i]), std::bit_cast<std::uint64_t>(expected))
                << std::string(s, std::strcspn(s, " \n"));
        }
    }
}
