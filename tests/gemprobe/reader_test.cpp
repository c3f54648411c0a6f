// The number reader against exact expected values and against the C library:
// every accepted token must give strtold's value bit for bit and end where
// scanf's "%Lf" would, also when every byte arrives in a refill of its own.

#include "input.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

using namespace gemprobe;

namespace {

// The 80 bits that hold a long double's value (the rest is padding).
std::string bitsOf(long double v) {
    unsigned char bytes[sizeof(long double)];
    std::memcpy(bytes, &v, sizeof v);
    char text[32];
    std::snprintf(text, sizeof text, "%02x%02x:%02x%02x%02x%02x%02x%02x%02x%02x", bytes[9], bytes[8],
                  bytes[7], bytes[6], bytes[5], bytes[4], bytes[3], bytes[2], bytes[1], bytes[0]);
    return text;
}

std::size_t consumed(input const& in, std::string const&) {
    return in.memoryOffset - static_cast<std::size_t>(in.end - in.pos);
}

struct ReadResult {
    bool ok;
    long double value;
    std::size_t consumed;
    std::string error;
};

ReadResult readOne(std::string const& data, std::size_t capacity) {
    input in = inputFromMemory(data, capacity);
    long double value = 0;
    bool const ok = readNumber(in, "a coordinate", value);
    return {ok, value, consumed(in, data), in.error};
}

// ---------------------------------------------------------------------------
// Hand-picked hard cases, expected values written as exact hex literals.

struct ExactCase {
    char const* text;
    long double expected;
};

ExactCase const exactCases[] = {
    // Not representable: correctly rounded.
    {"0.1", 0xc.ccccccccccccccdp-7L},
    {"0.8", 0xc.ccccccccccccccdp-4L},
    {"0.3", 0x9.99999999999999ap-5L},
    {"2.5e-10", 0x8.9705f4136b4a597p-35L},
    // 19 digits take the fast path; 20 digits do not, and ties go to even.
    {"9999999999999999999", 0x8.ac7230489e7ffffp+60L},
    {"1.8446744073709551615e19", 0xf.fffffffffffffffp+60L},
    {"18446744073709551617", 0x8p+61L},                  // 2^64 + 1: tie, down to even
    {"18446744073709551619", 0x8.000000000000002p+61L},  // 2^64 + 3: tie, up to even
    {"18446744073709551621", 0x8.000000000000002p+61L},  // 2^64 + 5: tie, down to even
    {"99999999999999999999", 0xa.d78ebc5ac62p+63L},
    // The largest exact power of ten, and one beyond it.
    {"1e27", 0xc.ecb8f27f4200f3ap+86L},
    {"1e28", 0x8.13f3978f8940984p+90L},
    {"123456789012345678e27", 0xb.126dca4f5acf37bp+143L},
    {"1e-27", 0x9.e74d1b791e07e48p-93L},
    {"0.000000000000000000000000001", 0x9.e74d1b791e07e48p-93L},
    {"0.0000000000000000000000000001e1", 0x9.e74d1b791e07e48p-93L},
    // Subnormals, underflow to zero, the largest finite value, overflow.
    {"1e-4950", 0x0.000000000000003p-16385L},
    {"3.6451995318824746025e-4951", 0x0.000000000000001p-16385L},
    {"1.8225997659412373013e-4951", 0x0.000000000000001p-16385L},  // just above half the least
    {"1e-4952", 0.0L},
    {"1.18973149535723176502e+4932", 0xf.fffffffffffffffp+16380L},
    {"1.18973149535723176508e+4932", HUGE_VALL},
    {"1e5000", HUGE_VALL},
    {"-1e5000", -HUGE_VALL},
    // Spellings.
    {"-0", -0.0L},
    {"+0.0e+99999999999999999999", 0.0L},
    {"-.5", -0.5L},
    {"5.", 5.0L},
    {"+7", 7.0L},
    {"00000000000000000000000000012.5", 12.5L},
    {"0x1.8p3", 12.0L},
    {"0X.8", 0.5L},
    {"-0x1p-16445", -0x0.000000000000001p-16385L},
    {"0xAbC", 2748.0L},
    {"inf", HUGE_VALL},
    {"-INFINITY", -HUGE_VALL},
    {"InFiNiTy", HUGE_VALL},
};

TEST(NumberReader, HardCasesHaveExactValues) {
    for (ExactCase const& c : exactCases) {
        for (std::size_t capacity : {std::size_t{1}, defaultInputCapacity}) {
            ReadResult const r = readOne(std::string(c.text) + " ", capacity);
            ASSERT_TRUE(r.ok) << c.text << ": " << r.error;
            EXPECT_EQ(bitsOf(r.value), bitsOf(c.expected)) << c.text << " with buffer " << capacity;
            EXPECT_EQ(r.consumed, std::strlen(c.text)) << c.text;
        }
    }
}

TEST(NumberReader, NanKeepsItsSign) {
    for (char const* text : {"nan", "NaN", "-nan", "+NAN"}) {
        ReadResult const r = readOne(text, 1);
        ASSERT_TRUE(r.ok) << text;
        EXPECT_TRUE(std::isnan(r.value)) << text;
        EXPECT_EQ(bitsOf(r.value), bitsOf(std::strtold(text, nullptr))) << text;
    }
}

// ---------------------------------------------------------------------------
// Where a number ends: exactly where scanf's "%Lf" stops.

struct EndCase {
    char const* text;
    std::size_t consumed;
};

EndCase const endCases[] = {
    {"1.5.3", 3},                                                    // a second point starts the next item
    {"1e5e3", 3}, {"12abc", 2},     {"0x1p3p", 5},  {"0x1.8e3", 7},  // 'e' is a hex digit
    {"infx", 3},  {"infinityx", 8}, {"nan(12)", 3},                  // scanf takes no payload
};

TEST(NumberReader, StopsWhereScanfStops) {
    for (EndCase const& c : endCases) {
        for (std::size_t capacity : {std::size_t{1}, std::size_t{3}, defaultInputCapacity}) {
            ReadResult const r = readOne(c.text, capacity);
            ASSERT_TRUE(r.ok) << c.text;
            EXPECT_EQ(r.consumed, c.consumed) << c.text << " with buffer " << capacity;
            int scanfEnd = -1;
            long double scanned = 0;
            ASSERT_EQ(std::sscanf(c.text, "%Lf%n", &scanned, &scanfEnd), 1) << c.text;
            EXPECT_EQ(static_cast<std::size_t>(scanfEnd), c.consumed) << c.text;
            EXPECT_EQ(bitsOf(r.value), bitsOf(scanned)) << c.text;
        }
    }
}

TEST(NumberReader, MalformedNumbersAreErrors) {
    // Some of these scanf half-accepts ("1e" as 1, "0x" as 0); they are
    // rejected here because they are almost certainly damaged input.
    for (char const* text :
         {"-",    "+",    ".",     "-.", "+.e5",  "e5",      "1e", "1e+", "1E-x", "0x", "0x.",
          "-0xg", "0x1p", "0x1p+", "in", "infin", "infinit", "na", "nax", "abc",  "*",  ""}) {
        for (std::size_t capacity : {std::size_t{1}, defaultInputCapacity}) {
            ReadResult const r = readOne(text, capacity);
            EXPECT_FALSE(r.ok) << '"' << text << '"';
            EXPECT_EQ(r.error.rfind("line 1: expected a coordinate, found ", 0), 0u) << r.error;
        }
    }
}

TEST(NumberReader, ErrorsQuoteTheOffendingWord) {
    input in = inputFromMemory("  \n\n 1e+x7 y");
    long double v = 0;
    EXPECT_FALSE(readNumber(in, "a coordinate", v));
    EXPECT_EQ(in.error, "line 3: expected a coordinate, found \"1e+x7\"");

    std::string const oddBytes("\x01\xff\"\\", 4);
    input bytes = inputFromMemory(oddBytes);
    EXPECT_FALSE(readNumber(bytes, "a coordinate", v));
    EXPECT_EQ(bytes.error, "line 1: expected a coordinate, found \"\\x01\\xff\\x22\\x5c\"");

    std::string const zs(100, 'z');
    input longWord = inputFromMemory(zs);
    EXPECT_FALSE(readNumber(longWord, "a coordinate", v));
    EXPECT_EQ(longWord.error, "line 1: expected a coordinate, found \"" + std::string(32, 'z') + "...\"");

    // At the end of the input the error points at the last line, not past it.
    input empty = inputFromMemory("1\n2\n");
    EXPECT_TRUE(readNumber(empty, "a coordinate", v));
    EXPECT_TRUE(readNumber(empty, "a coordinate", v));
    EXPECT_FALSE(readNumber(empty, "a coordinate", v));
    EXPECT_EQ(empty.error, "line 2: expected a coordinate, found end of input");
}

// ---------------------------------------------------------------------------
// Random well-formed tokens against strtold (value) and sscanf (extent).

std::string randomDigits(std::mt19937_64& rng, int count, char const* alphabet = "0123456789") {
    std::string digits;
    std::size_t const size = std::strlen(alphabet);
    for (int i = 0; i < count; ++i) digits.push_back(alphabet[rng() % size]);
    return digits;
}

std::string randomToken(std::mt19937_64& rng) {
    std::string token;
    switch (rng() % 3) {
        case 1:
            token += '-';
            break;
        case 2:
            if (rng() % 4 == 0) token += '+';
            break;
        default:
            break;
    }
    unsigned const kind = rng() % 20;
    if (kind == 0) return token + (rng() % 2 ? "inf" : "Infinity");
    if (kind == 1) return token + (rng() % 2 ? "nan" : "NAN");
    if (kind <= 4) {
        token += rng() % 2 ? "0x" : "0X";
        int const whole = static_cast<int>(rng() % 6);
        token += randomDigits(rng, whole, "0123456789abcdefABCDEF");
        if (whole == 0 || rng() % 2) {
            token += '.';
            token += randomDigits(rng, 1 + static_cast<int>(rng() % 18), "0123456789abcdef");
        }
        if (rng() % 2) {
            token += rng() % 2 ? "p-" : "p";
            token += std::to_string(rng() % 17000);
        }
        return token;
    }
    // Decimal: lengths around the 19-digit and exponent limits of the fast path.
    int const whole = static_cast<int>(rng() % 24);
    token += randomDigits(rng, whole);
    if (whole == 0 || rng() % 2) {
        token += ".";
        token += randomDigits(rng, (whole == 0 ? 1 : 0) + static_cast<int>(rng() % 24));
    }
    if (rng() % 2) {
        token += rng() % 2 ? "e" : "E";
        unsigned const sign = rng() % 3;
        if (sign == 1) token += '-';
        if (sign == 2) token += '+';
        token += std::to_string(rng() % 3 == 0 ? rng() % 5000 : rng() % 40);
    }
    return token;
}

TEST(NumberReader, RandomTokensMatchTheCLibrary) {
    std::mt19937_64 rng(20261207);
    char const* const followers[] = {" ", "\n", "\t1", "z", ",", "", "\r\n", "-"};
    for (int i = 0; i < 200000; ++i) {
        std::string const token = randomToken(rng);
        std::string const data = token + followers[rng() % std::size(followers)];
        char* strtoldEnd = nullptr;
        long double const expected = std::strtold(data.c_str(), &strtoldEnd);
        int scanfEnd = -1;
        long double scanned = 0;
        ASSERT_EQ(std::sscanf(data.c_str(), "%Lf%n", &scanned, &scanfEnd), 1) << data;
        ASSERT_EQ(static_cast<std::size_t>(scanfEnd), token.size()) << data;
        ASSERT_EQ(static_cast<std::size_t>(strtoldEnd - data.c_str()), token.size()) << data;

        std::size_t const capacity = i % 3 == 0 ? 1 : defaultInputCapacity;
        ReadResult const r = readOne(data, capacity);
        ASSERT_TRUE(r.ok) << data << ": " << r.error;
        ASSERT_EQ(bitsOf(r.value), bitsOf(expected)) << '"' << data << "\" buffer " << capacity;
        ASSERT_EQ(r.consumed, token.size()) << data;
    }
}

TEST(NumberReader, VeryLongSignificandsRoundCorrectly) {
    // Far more digits than the fast path takes: a halfway case decided by the
    // very last digit.
    std::string const half = "18446744073709551617" + std::string(5000, '0');
    std::string const above = half + "1";
    for (std::string const& digits : {half, above}) {
        std::string const data = digits + "e-5000 ";
        ReadResult const r = readOne(data, 7);
        ASSERT_TRUE(r.ok);
        EXPECT_EQ(bitsOf(r.value), bitsOf(std::strtold(data.c_str(), nullptr)));
        EXPECT_EQ(r.consumed, data.size() - 1);
    }
}

// ---------------------------------------------------------------------------
// Counts: "%d" with a range check.

TEST(CountReader, ReadsSignedDecimalIntegers) {
    struct {
        char const* text;
        int value;
        std::size_t consumed;
    } const cases[] = {
        {"0", 0, 1},
        {"  \n\t\v\f\r42 ", 42, 9},
        {"-7\tx", -7, 2},
        {"+3", 3, 2},
        {"2147483647", 2147483647, 10},
        {"-2147483648", -2147483647 - 1, 11},
        {"7-1", 7, 1},
        {"00000000000000000000000000005", 5, 29},
    };
    for (auto const& c : cases) {
        for (std::size_t capacity : {std::size_t{1}, defaultInputCapacity}) {
            std::string const data = c.text;
            input in = inputFromMemory(data, capacity);
            int value = -1;
            ASSERT_TRUE(readCount(in, "the number of sets", value)) << c.text << in.error;
            EXPECT_EQ(value, c.value) << c.text;
            EXPECT_EQ(consumed(in, data), c.consumed) << c.text;
        }
    }
}

TEST(CountReader, RejectsWhatIsNotA32BitInteger) {
    struct {
        char const* text;
        char const* error;
    } const cases[] = {
        {"", "line 1: expected the number of sets, found end of input"},
        {" \n \n", "line 2: expected the number of sets, found end of input"},
        {"x", "line 1: expected the number of sets, found \"x\""},
        {"-", "line 1: expected the number of sets, found \"-\""},
        {"\n+ 5", "line 2: expected the number of sets, found \"+\""},
        {"2147483648", "line 1: expected the number of sets, found \"2147483648\" (out of range)"},
        {"-2147483649", "line 1: expected the number of sets, found \"-2147483649\" (out of range)"},
        {"99999999999999999999999999999999999999999",
         "line 1: expected the number of sets, found "
         "\"99999999999999999999999999999999...\" (out of range)"},
        // Not integers: the whole word, where it stands.
        {"1.0", "line 1: expected the number of sets, found \"1.0\""},
        {"\n-12.5e3 4", "line 2: expected the number of sets, found \"-12.5e3\""},
        {"0x10", "line 1: expected the number of sets, found \"0x10\""},
        {"3abc", "line 1: expected the number of sets, found \"3abc\""},
        {"\xef\xbb\xbf"
         "1\n",
         "line 1: expected the number of sets, found a UTF-8 byte-order mark"},
    };
    for (auto const& c : cases) {
        for (std::size_t capacity : {std::size_t{1}, defaultInputCapacity}) {
            input in = inputFromMemory(c.text, capacity);
            int value = 0;
            EXPECT_FALSE(readCount(in, "the number of sets", value)) << c.text;
            EXPECT_EQ(in.error, c.error);
        }
    }
}

}  // namespace

namespace {

TEST(NumberReader, ExponentsTooLargeToHoldGiveTheLibraryValue) {
    std::string const zeros(999999, '0');
    for (std::string const& token :
         {"0." + zeros + "1e10000000", "0." + zeros + "1e-10000000", "1" + zeros + "e-1000005",
          "0." + zeros + "1e1000000", "1e" + std::string(30, '9'), "1e-" + std::string(30, '9'),
          std::string("0.0e99999999999999999999999999"), "1" + zeros + "e-99999999999999999999"}) {
        for (std::size_t capacity : {std::size_t{5}, defaultInputCapacity}) {
            std::string const data = token + " ";
            ReadResult const r = readOne(data, capacity);
            ASSERT_TRUE(r.ok) << r.error;
            EXPECT_EQ(bitsOf(r.value), bitsOf(std::strtold(data.c_str(), nullptr)))
                << token.substr(0, 4) << "..." << token.substr(token.size() - 12);
            EXPECT_EQ(r.consumed, token.size());
        }
    }
}

}  // namespace

namespace {

// ---------------------------------------------------------------------------
// The eight-digits-at-a-time helpers against a byte loop: every byte value in
// every position of a word of digits.

TEST(DigitWords, CountAndValueMatchAByteLoop) {
    std::mt19937_64 rng(8);
    for (int position = 0; position < 8; ++position) {
        for (int byte = 0; byte < 256; ++byte) {
            char bytes[8];
            for (char& b : bytes) b = static_cast<char>('0' + rng() % 10);
            bytes[position] = static_cast<char>(byte);
            std::uint64_t word = 0;
            std::memcpy(&word, bytes, sizeof word);
            int expectedCount = 0;
            std::uint64_t expectedValue = 0;
            while (expectedCount < 8 && bytes[expectedCount] >= '0' && bytes[expectedCount] <= '9')
                expectedValue = expectedValue * 10 + static_cast<unsigned>(bytes[expectedCount++] - '0');
            ASSERT_EQ(leadingDigitCount(word), expectedCount) << position << ' ' << byte;
            if (expectedCount > 0) {
                ASSERT_EQ(valueOfDigits(word, expectedCount), expectedValue);
            }
        }
    }
}

// Spellings at every limit of the fast path: 18 to 21 and 40 digits, the
// point anywhere in them, leading zeros, halfway cases between neighbouring
// 80-bit values, scales at and beyond 10^+-27, five- to seven-digit
// exponents; each read through buffers whose refills cut it at every offset,
// value bit for bit as strtold gives it and end where strtold stops.
TEST(NumberReader, FastPathLimitsMatchTheCLibrary) {
    std::mt19937_64 rng(11);
    std::vector<std::string> tokens;
    for (int digits : {1, 7, 8, 9, 15, 16, 17, 18, 19, 20, 21, 40}) {
        for (int i = 0; i < 40; ++i) {
            std::string d = randomDigits(rng, digits);
            if (i % 5 == 0) d[0] = '0';
            std::size_t const point = rng() % (d.size() + 1);
            std::string t = d.substr(0, point) + (i % 3 ? "." : "") + d.substr(point);
            if (i % 4 == 1) t.append("e").append(std::to_string(static_cast<int>(rng() % 61) - 30));
            if (i % 4 == 2) t.append(rng() % 2 ? "e-" : "e+").append(std::to_string(rng() % 10000000));
            tokens.push_back((i % 2 ? "-" : "") + t);
        }
    }
    // Halfway between two neighbouring 80-bit values, and one unit either side
    // in the last of many digits: 2^64 + 1, and (2^65 + 1) / 2^10.
    for (char const* half : {"18446744073709551617", "36028797018963968.0009765625"}) {
        tokens.push_back(half);
        tokens.push_back(std::string(half) + "000000000000000000001");
        std::string below = half;
        below.back() = static_cast<char>(below.back() - 1);
        tokens.push_back(below + "9999999999999999999999");
    }
    // Each path's edges: the reciprocal (10^-26), the x87 division (10^-27),
    // the product (10^27), and the exact excess of 10^27 up to 10^35.
    for (std::string scale : {"e27", "e28", "e-27", "e-28", "e99999", "e-99999", "e100000", "e999999", "e-26",
                              "e-29", "e34", "e35", "e36", "e37"})
        for (char const* digits : {"1234567", "9", "9999999999999999999", "0.00001234567890123456789"})
            tokens.push_back(digits + scale);

    for (std::string const& token : tokens) {
        std::string const data = token + " ";
        long double const expected = std::strtold(data.c_str(), nullptr);
        for (std::size_t capacity : {std::size_t{5}, std::size_t{8}, std::size_t{13}, defaultInputCapacity}) {
            for (std::size_t shift = 0; shift < (capacity < 16 ? capacity : 1); ++shift) {
                std::string const padded = std::string(shift, ' ') + data;
                ReadResult const r = readOne(padded, capacity);
                ASSERT_TRUE(r.ok) << token << ": " << r.error;
                ASSERT_EQ(bitsOf(r.value), bitsOf(expected)) << '"' << token << "\" buffer " << capacity;
                ASSERT_EQ(r.consumed, padded.size() - 1) << token;
            }
        }
    }
}

}  // namespace

namespace {

// ---------------------------------------------------------------------------
// The division-free quotient against strtold: every power 10^-1..10^-26 it
// serves, significands of every length up to 64 bits, multiples of 5^k (exact
// quotients), and 2^64 - 1, the largest significand it may meet.
TEST(NumberReader, QuotientsByPowersOfTenMatchTheCLibrary) {
    std::mt19937_64 rng(26);
    for (int k = 1; k <= maxReciprocalPowerOfTen; ++k) {
        std::uint64_t fiveToK = 1;
        for (int i = 0; i < k; ++i) fiveToK *= 5;
        std::vector<std::uint64_t> significands = {1, 9, UINT64_MAX, UINT64_MAX / fiveToK * fiveToK, fiveToK};
        for (int bits = 1; bits <= 64; ++bits) {
            for (int i = 0; i < 40; ++i) {
                std::uint64_t const w = (rng() >> (64 - bits)) | (std::uint64_t{1} << (bits - 1));
                significands.push_back(w);
                if (w / fiveToK > 0) significands.push_back(w / fiveToK * fiveToK);
            }
        }
        for (std::uint64_t w : significands) {
            std::string const text = std::to_string(w) + "e-" + std::to_string(k);
            long double got = 0;
            ASSERT_TRUE(scaleExactly(w, -k, k % 2 == 1, got)) << text;
            long double const expected = std::strtold(text.c_str(), nullptr);
            ASSERT_EQ(bitsOf(got), bitsOf(k % 2 == 1 ? -expected : expected)) << text;
        }
    }
}

// The sixteen-byte path: every count of integer (1 to 8) and fraction digits
// (none, a bare point, 1 to 8), with either sign and each follower, at every
// offset from the end of small blocks, so that the number, its point or its
// last digit meet the block's NUL, with the previous block's digits after it.
TEST(NumberReader, CommonSpellingsMatchTheCLibraryAtEveryBlockOffset) {
    std::mt19937_64 rng(16);
    char const* const followers[] = {" ", "\n", "e5 ", "E-2 ", ".5 ", "x", "-1 ", ""};
    for (int whole = 1; whole <= 8; ++whole) {
        for (int fraction = -1; fraction <= 8; ++fraction) {
            for (int i = 0; i < 6; ++i) {
                std::string token = i % 3 == 1 ? "-" : (i % 3 == 2 ? "+" : "");
                token += randomDigits(rng, whole, i == 0 ? "0" : "0123456789");
                if (fraction >= 0) token += '.' + randomDigits(rng, fraction, i == 5 ? "9" : "0123456789");
                std::string const data = token + followers[rng() % std::size(followers)];
                int scanfEnd = -1;
                long double expected = 0;
                ASSERT_EQ(std::sscanf(data.c_str(), "%Lf%n", &expected, &scanfEnd), 1) << data;
                for (std::size_t capacity : {std::size_t{3}, std::size_t{16}, std::size_t{23}}) {
                    for (std::size_t shift = 0; shift < capacity; ++shift) {
                        // Digits in the bytes after the first block: a mask
                        // that looked past the NUL would count them.
                        std::string const padded = std::string(shift, ' ') + data + " 99999999999999999";
                        ReadResult const r = readOne(padded, capacity);
                        ASSERT_TRUE(r.ok) << data << ": " << r.error;
                        ASSERT_EQ(bitsOf(r.value), bitsOf(expected))
                            << '"' << data << "\" buffer " << capacity;
                        ASSERT_EQ(r.consumed, shift + static_cast<std::size_t>(scanfEnd)) << data;
                    }
                }
            }
        }
    }
}

}  // namespace

namespace {

// ---------------------------------------------------------------------------
// The spellings that programs write, against strtold: value bit for bit and
// extent, whole in a block and cut by small refills.

void expectLikeStrtold(std::string const& token, std::size_t capacity) {
    std::string const data = token + " ";
    char* end = nullptr;
    long double const expected = std::strtold(data.c_str(), &end);
    ReadResult const r = readOne(data, capacity);
    ASSERT_TRUE(r.ok) << token << ": " << r.error;
    ASSERT_EQ(bitsOf(r.value), bitsOf(expected)) << '"' << token << "\" buffer " << capacity;
    ASSERT_EQ(r.consumed, static_cast<std::size_t>(end - data.c_str())) << token;
}

TEST(NumberReader, PrintedSpellingsMatchTheCLibrary) {
    std::mt19937_64 rng(17);
    char text[128];
    for (int i = 0; i < 30000; ++i) {
        // Mostly moderate magnitudes, where the fast paths serve; some of any.
        double const v = i % 8 == 0 ? std::bit_cast<double>(rng() & ~(std::uint64_t{0x7ff} << 52 & rng()))
                                    : std::ldexp(static_cast<double>(rng() >> 11) * 0x1p-53 - 0.5,
                                                 static_cast<int>(rng() % 140) - 90);
        if (!std::isfinite(v)) continue;
        std::size_t const capacity = i % 5 == 0 ? 1 + rng() % 24 : defaultInputCapacity;
        int const n = 1 + i % 21;
        std::snprintf(text, sizeof text, "%.*g", n, v);
        expectLikeStrtold(text, capacity);
        std::snprintf(text, sizeof text, "%.*e", n - 1, v);
        expectLikeStrtold(text, capacity);
        std::snprintf(text, sizeof text, "%.*Lg", n, static_cast<long double>(v) * (1 + 0x1p-60L));
        expectLikeStrtold(text, capacity);
        if (std::fabs(v) < 1e6) {
            std::snprintf(text, sizeof text, "%.*f", n + 9, v);  // leading and trailing zeros
            expectLikeStrtold(text, capacity);
        }
        char* const end = std::to_chars(text, text + sizeof text, v).ptr;
        expectLikeStrtold(std::string(text, end), capacity);
        std::string const zeros = std::string(text, end).insert(v < 0 ? 1 : 0, std::string(1 + i % 30, '0'));
        expectLikeStrtold(zeros, capacity);
    }
}

// m 2^q + 2^(q-1), halfway between m 2^q and its upper neighbour, in
// decimal: (2m + 1) 5^(1-q) / 10^(1-q) for q < 1.
std::string halfwayAbove(std::uint64_t m, int q) {
    std::vector<int> digits;  // least significant first
    for (unsigned __int128 v = static_cast<unsigned __int128>(m) * 2 + 1; v != 0; v /= 10)
        digits.push_back(static_cast<int>(v % 10));
    for (int k = 0; k < 1 - q; ++k) {
        int carry = 0;
        for (int& d : digits) {
            int const p = d * 5 + carry;
            d = p % 10;
            carry = p / 10;
        }
        if (carry != 0) digits.push_back(carry);
    }
    while (static_cast<int>(digits.size()) <= 1 - q) digits.push_back(0);
    std::string text;
    for (std::size_t k = digits.size(); k-- > 0;) {
        text.push_back(static_cast<char>('0' + digits[k]));
        if (static_cast<int>(k) == 1 - q) text.push_back('.');
    }
    return text;
}

TEST(NumberReader, HalfwayCasesAndTheirNeighboursMatchTheCLibrary) {
    std::mt19937_64 rng(18);
    for (int i = 0; i < 3000; ++i) {
        std::uint64_t const m = rng() | std::uint64_t{1} << 63;
        int const q = -63 - static_cast<int>(rng() % 70);  // values of 1 down to 2^-70
        std::string const half = halfwayAbove(m, q);
        std::size_t const first = half.find_first_not_of("0.");
        expectLikeStrtold(half, defaultInputCapacity);
        expectLikeStrtold(half + "00001", defaultInputCapacity);
        // Cut to 19, 20, 21 and 25 significant digits: just below halfway.
        for (std::size_t significant : {19, 20, 21, 25}) {
            std::size_t cut = first;
            for (std::size_t taken = 0; cut < half.size() && taken < significant; ++cut)
                taken += half[cut] != '.' ? 1 : 0;
            expectLikeStrtold(half.substr(0, cut), i % 7 == 0 ? 9 : defaultInputCapacity);
            std::string negative(1, '-');
            negative.append(half, 0, cut).append("9e-3");
            expectLikeStrtold(negative, defaultInputCapacity);
        }
    }
}

}  // namespace
