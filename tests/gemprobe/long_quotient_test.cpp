// The AVX2 engines' gathered tokens of sixteen to nineteen significant
// digits, whose significands a double does not hold, against strtold: at
// every scale the gather takes (10^-1 to 10^-26, those past 10^-22 through
// takeLongToken), next to the midpoints between doubles, where the corrected
// quotient or its check would show a slip. Spelt with a point and leading
// zeros, or with printf's two-digit exponent and with a three-digit one.

#include "input.h"
#include "point_tokens.h"

#include <gtest/gtest.h>

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

// w 10^-k spelt as a token the gather takes (at most 31 digits and a point).
std::string spelt(std::uint64_t w, int k, std::mt19937_64& rng) {
    std::string digits = std::to_string(w);
    int const length = static_cast<int>(digits.size());
    if (rng() % 2 == 0 && k + 2 <= 31) {
        // All k fraction digits after the point, leading zeros included.
        if (length <= k) return "0." + std::string(static_cast<std::size_t>(k - length), '0') + digits;
        return digits.substr(0, static_cast<std::size_t>(length - k)) + "." +
               digits.substr(static_cast<std::size_t>(length - k));
    }
    int const exponent = length - 1 - k;
    char text[16];
    std::snprintf(text, sizeof text, rng() % 4 == 0 ? "e%+04d" : "e%+03d", exponent);
    return digits.substr(0, 1) + "." + digits.substr(1) + text;
}

}  // namespace

TEST(LongQuotients, SixteenToNineteenDigitsNextToMidpointsGiveTheLibraryValue) {
    std::mt19937_64 rng(17);
    for (pointEngine const* engine : {&avx2Engine, &avx512Engine}) {
        if (engine == &avx2Engine ? !avx2EngineRuns() : !avx512EngineRuns()) continue;
        for (int input = 0; input < 400; ++input) {
            std::string text;
            for (unsigned token = 0; token < 3 * batchPoints; ++token) {
                int const k = 1 + static_cast<int>(rng() % maxReciprocalPowerOfTen);
                // A significand of 16 to 19 digits, log-uniform, moved to the
                // nearest multiple of 10^-k next to a midpoint between doubles.
                long double const target =
                    std::pow(10.0L, 15 + static_cast<long double>(rng() % 4000) / 1000);
                double const lower = static_cast<double>(target / std::pow(10.0L, k));
                long double const midpoint =
                    (static_cast<long double>(lower) + std::nextafter(lower, 1e300)) / 2;
                long double const scaled = midpoint * std::pow(10.0L, k);
                auto w = static_cast<std::uint64_t>(scaled) + rng() % 3;
                if (w >= 10000000000000000000u) w = 9999999999999999999u;
                if (rng() % 2 == 0) text += '-';
                text += spelt(w, k, rng);
                text += rng() % 8 == 0 ? '\n' : ' ';
            }
            std::vector<char> storage(text.size() + blockPadding, '\0');
            std::memcpy(storage.data(), text.data(), text.size());
            char const* const base = storage.data();
            tokenList list;
            engine->listTokens(base, base + text.size(), 3 * batchPoints, list);
            // (As many as 2 KiB of the batch's chunks hold.)
            ASSERT_GT(list.tokens, 64u);
            tokenValues values;
            ASSERT_EQ(engine->convertTokens(base, base, list, list.tokens, values), list.tokens);
            for (unsigned i = 0; i < list.tokens; ++i) {
                char const* const s = base + list.starts[i];
                double expected = 0;
                ASSERT_TRUE(toCertifiedDouble(std::strtold(s, nullptr), expected));
                ASSERT_EQ(std::bit_cast<std::uint64_t>(values.rounded[i]),
                          std::bit_cast<std::uint64_t>(expected))
                    << std::string(s, std::strcspn(s, " \n"));
            }
        }
    }
}
