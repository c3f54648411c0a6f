#pragma once

#include "input.h"
#include "symbols.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace motifscan {

// Small pattern sets are run bit-parallel (Shift-And): the patterns that can
// complete are laid end to end in a bit vector, bit i standing for "the last
// bytes read are the first k symbols of the pattern whose k-th symbol is at
// bit i". One byte b moves every partial match on by one and starts a new one
// at every pattern's first bit:
//     active = ((active << 1) | startBits) & bitsOf[b]
// A bit that crosses from one pattern's last symbol into the next pattern's
// first lands on a start bit, which is set anyway. A completion (a pattern's
// last bit) wipes every partial match: active = 0. This is the counting rule
// run literally, so it needs no construction beyond setting one bit per
// pattern symbol: tasks with a few short patterns are ready in nanoseconds.
//
// The top bit marks the end of the message: it is a start bit, and the only
// bit of every byte that ends a message, so one test per byte catches both a
// completion and the end.

// One 64-bit word: at most 63 pattern symbols. Indexed by byte, so a step is
// one load, a shift, an or, an and and a test.
constexpr std::size_t maxBitParallelSymbols = 63;
constexpr std::uint64_t messageEndBit = std::uint64_t{1} << 63;

constexpr std::array<std::uint64_t, 256> emptyBitsOfByte = [] {
    std::array<std::uint64_t, 256> bits{};
    for (int byte = 0; byte < 256; ++byte) {
        if (symbolClassOf[byte] == terminatorClass) bits[byte] = messageEndBit;
    }
    return bits;
}();

struct bitParallel {
    std::uint64_t startBits = 0;
    std::uint64_t stopBits = 0;  // the patterns' last bits and messageEndBit
    std::array<std::uint64_t, 256> bitsOfByte = emptyBitsOfByte;
    std::uint32_t usedSymbols = 0;  // bit per class with pattern bits in bitsOfByte
};

// Four words: up to 255 pattern symbols, for sets just above one word. The
// table is indexed by symbol class (28 rows of 32 bytes) so that it is cleared
// and filled in a few stores per task; the carry from word to word is one
// more shift per word.
constexpr int wideWords = 4;
constexpr std::size_t maxWideSymbols = 64 * wideWords - 1;

struct wideBits {
    std::uint64_t word[wideWords];
};

struct wideBitParallel {
    wideBits startBits{};
    wideBits stopBits{};
    wideBits bitsOfClass[symbolClasses]{};
};

// Lay the patterns that can complete end to end; false when they do not fit
// (the engine's contents are then unspecified).
bool layOutBits(bitParallel& engine, std::vector<std::string> const& patterns);
bool layOutWideBits(wideBitParallel& engine, std::vector<std::string> const& patterns);

inline int podciagBitParallel(input& in, bitParallel const& engine) {
    std::uint64_t const starts = engine.startBits;
    std::uint64_t const stops = engine.stopBits;
    std::uint64_t const* const bitsOfByte = engine.bitsOfByte.data();
    std::uint64_t active = 0;
    for (;;) {
        char const* next = in.pos;
        char const* const end = in.end;
        while (next != end) {
            unsigned char const byte = static_cast<unsigned char>(*next++);
            active = ((active << 1) | starts) & bitsOfByte[byte];
            if ((active & stops) != 0) {
                in.pos = next;
                if ((active & messageEndBit) == 0) return 1;
                if (byte == '\n') ++in.line;
                return 0;
            }
        }
        in.pos = next;
        if (!refill(in)) return 0;
    }
}

inline int podciagWideBitParallel(input& in, wideBitParallel const& engine) {
    std::uint64_t a0 = 0, a1 = 0, a2 = 0, a3 = 0;
    for (;;) {
        char const* next = in.pos;
        char const* const end = in.end;
        while (next != end) {
            unsigned char const byte = static_cast<unsigned char>(*next++);
            wideBits const& bits = engine.bitsOfClass[symbolClassOf[byte]];
            std::uint64_t const b3 = ((a3 << 1) | (a2 >> 63) | engine.startBits.word[3]) & bits.word[3];
            std::uint64_t const b2 = ((a2 << 1) | (a1 >> 63) | engine.startBits.word[2]) & bits.word[2];
            std::uint64_t const b1 = ((a1 << 1) | (a0 >> 63) | engine.startBits.word[1]) & bits.word[1];
            a0 = ((a0 << 1) | engine.startBits.word[0]) & bits.word[0];
            a1 = b1;
            a2 = b2;
            a3 = b3;
            if (((a0 & engine.stopBits.word[0]) | (a1 & engine.stopBits.word[1]) |
                 (a2 & engine.stopBits.word[2]) | (a3 & engine.stopBits.word[3])) != 0) {
                in.pos = next;
                if ((a3 & messageEndBit) == 0) return 1;
                if (byte == '\n') ++in.line;
                return 0;
            }
        }
        in.pos = next;
        if (!refill(in)) return 0;
    }
}

}  // namespace motifscan
