#include "literal_prefilter.h"

#include "symbols.h"

#include <immintrin.h>
#include <algorithm>
#include <string_view>

namespace motifscan {

bool buildTeddy(teddy& tables, std::vector<char const*> const& text,
                std::vector<std::uint32_t> const& length) {
    tables.reach = 0;
    if (text.empty()) return false;
    // The distinct endings, each the last mostTeddyReach bytes of a pattern or
    // the whole of a shorter one, sorted by length and then from their last
    // byte back: the short endings, which pass more false candidates, share
    // the first buckets, and endings that share their last bytes share a
    // bucket.
    std::vector<std::string_view> endings;
    endings.reserve(text.size());
    for (std::size_t k = 0; k < text.size(); ++k) {
        std::uint32_t const kept = std::min<std::uint32_t>(length[k], mostTeddyReach);
        endings.emplace_back(text[k] + length[k] - kept, kept);
    }
    std::sort(endings.begin(), endings.end(), [](std::string_view a, std::string_view b) {
        if (a.size() != b.size()) return a.size() < b.size();
        return std::lexicographical_compare(a.rbegin(), a.rend(), b.rbegin(), b.rend());
    });
    endings.erase(std::unique(endings.begin(), endings.end()), endings.end());
    if (endings.size() > mostTeddyEndings) return false;

    bool used[256] = {};
    for (std::size_t k = 0; k < text.size(); ++k) {
        for (std::uint32_t i = 0; i < length[k]; ++i) used[static_cast<unsigned char>(text[k][i])] = true;
    }
    std::vector<int> symbols;
    for (int byte = 0; byte < 256; ++byte) {
        if (used[byte]) symbols.push_back(byte);
    }

    std::size_t const count = endings.size();
    auto const longest = static_cast<unsigned>(endings.back().size());
    tables.low.assign(longest, {});
    tables.high.assign(longest, {});
    double falseRate[teddyBuckets];
    std::fill(std::begin(falseRate), std::end(falseRate), 1.0);
    double lastTotal = teddyBuckets;
    for (unsigned offset = 0; offset < longest; ++offset) {
        std::array<std::uint8_t, 32>& low = tables.low[offset];
        std::array<std::uint8_t, 32>& high = tables.high[offset];
        for (std::size_t e = 0; e < count; ++e) {
            auto const bit = static_cast<std::uint8_t>(1u << (e * teddyBuckets / count));
            std::string_view const ending = endings[e];
            // An ending shorter than the offset takes any byte there.
            unsigned const lowNibbles =
                offset < ending.size() ? 1u << (ending[ending.size() - 1 - offset] & 15) : 0xffffu;
            unsigned const highNibbles =
                offset < ending.size()
                    ? 1u << (static_cast<unsigned char>(ending[ending.size() - 1 - offset]) >> 4)
                    : 0xffffu;
            for (int nibble = 0; nibble < 16; ++nibble) {
                if ((lowNibbles >> nibble & 1) != 0) low[nibble] = low[16 + nibble] |= bit;
                if ((highNibbles >> nibble & 1) != 0) high[nibble] = high[16 + nibble] |= bit;
            }
        }
        double total = 0;
        for (int bucket = 0; bucket < teddyBuckets; ++bucket) {
            int accepted = 0;
            for (int byte : symbols) {
                if ((low[byte & 15] & high[byte >> 4] & (1 << bucket)) != 0) ++accepted;
            }
            falseRate[bucket] *= static_cast<double>(accepted) / static_cast<double>(symbols.size());
            total += falseRate[bucket];
        }
        // Each offset costs a few instructions per 32 positions; it is worth
        // them while it makes candidates noticeably rarer.
        if (total <= targetFalseRate || lastTotal - total < targetFalseRate || offset + 1 == longest) {
            tables.reach = offset + 1;
            break;
        }
        lastTotal = total;
    }
    tables.low.resize(tables.reach);
    tables.high.resize(tables.reach);
    return true;
}

__attribute__((target("avx2"))) char const* nextTeddyStep(char const* at, char const* end,
                                                          teddy const& tables, std::uint32_t& mask) {
    unsigned const reach = tables.reach;
    __m256i const nibble = _mm256_set1_epi8(15);
    __m256i const zero = _mm256_setzero_si256();
    auto const* const low = reinterpret_cast<__m256i const*>(tables.low.data());
    auto const* const high = reinterpret_cast<__m256i const*>(tables.high.data());
    while (end - at >= 32) {
        __m256i const block = _mm256_loadu_si256(reinterpret_cast<__m256i const*>(at));
        __m256i const offset = _mm256_sub_epi8(block, _mm256_set1_epi8('A'));
        __m256i const letter = _mm256_cmpeq_epi8(_mm256_min_epu8(offset, _mm256_set1_epi8(25)), offset);
        __m256i const star = _mm256_cmpeq_epi8(block, _mm256_set1_epi8('*'));
        __m256i buckets =
            _mm256_and_si256(_mm256_shuffle_epi8(_mm256_loadu_si256(low), _mm256_and_si256(block, nibble)),
                             _mm256_shuffle_epi8(_mm256_loadu_si256(high),
                                                 _mm256_and_si256(_mm256_srli_epi16(block, 4), nibble)));
        for (unsigned k = 1; k < reach; ++k) {
            __m256i const bytes = _mm256_loadu_si256(reinterpret_cast<__m256i const*>(at - k));
            __m256i const found = _mm256_and_si256(
                _mm256_shuffle_epi8(_mm256_loadu_si256(low + k), _mm256_and_si256(bytes, nibble)),
                _mm256_shuffle_epi8(_mm256_loadu_si256(high + k),
                                    _mm256_and_si256(_mm256_srli_epi16(bytes, 4), nibble)));
            buckets = _mm256_and_si256(buckets, found);
        }
        // A candidate has a bucket left; a byte that ends the message is no
        // letter and no star.
        __m256i const quiet =
            _mm256_and_si256(_mm256_cmpeq_epi8(buckets, zero), _mm256_or_si256(letter, star));
        mask = ~static_cast<std::uint32_t>(_mm256_movemask_epi8(quiet));
        if (mask != 0) return at;
        at += 32;
    }
    mask = 0;
    return at;
}

}  // namespace motifscan
