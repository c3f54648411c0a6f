#include "bit_parallel.h"

namespace motifscan {

bool layOutBits(bitParallel& engine, std::vector<std::string> const& patterns) {
    // Only the letters the last task used hold pattern bits.
    for (std::uint32_t rest = engine.usedSymbols; rest != 0; rest &= rest - 1) {
        int const symbol = __builtin_ctz(rest);
        engine.bitsOfByte[symbol == 26 ? '*' : 'A' + symbol] = 0;
    }
    engine.usedSymbols = 0;
    engine.startBits = messageEndBit;
    engine.stopBits = messageEndBit;
    unsigned bit = 0;
    for (std::string const& pattern : patterns) {
        if (pattern.empty()) continue;
        // An invalid pattern met here may make a valid set fall back to a
        // bigger engine: slower, never wrong.
        if (bit + pattern.size() > maxBitParallelSymbols) return false;
        unsigned const first = bit;
        for (unsigned char byte : pattern) {
            std::uint8_t const symbol = symbolClassOf[byte];
            if (symbol == terminatorClass) break;
            engine.bitsOfByte[byte] |= std::uint64_t{1} << bit++;
            engine.usedSymbols |= std::uint32_t{1} << symbol;
        }
        if (bit - first != pattern.size()) {
            // The pattern can never complete: take back the bits it was given.
            for (unsigned k = first; k < bit; ++k) {
                engine.bitsOfByte[static_cast<unsigned char>(pattern[k - first])] &= ~(std::uint64_t{1} << k);
            }
            bit = first;
            continue;
        }
        engine.startBits |= std::uint64_t{1} << first;
        engine.stopBits |= std::uint64_t{1} << (bit - 1);
    }
    return true;
}

namespace {

void setBit(wideBits& bits, unsigned bit) { bits.word[bit / 64] |= std::uint64_t{1} << (bit % 64); }

}  // namespace

bool layOutWideBits(wideBitParallel& engine, std::vector<std::string> const& patterns) {
    engine = wideBitParallel{};
    constexpr unsigned endBit = 64 * wideWords - 1;
    setBit(engine.startBits, endBit);
    setBit(engine.stopBits, endBit);
    setBit(engine.bitsOfClass[terminatorClass], endBit);
    unsigned bit = 0;
    for (std::string const& pattern : patterns) {
        if (pattern.empty()) continue;
        bool valid = true;
        for (unsigned char byte : pattern) valid = valid && symbolClassOf[byte] != terminatorClass;
        if (!valid) continue;
        if (bit + pattern.size() > maxWideSymbols) return false;
        setBit(engine.startBits, bit);
        for (unsigned char byte : pattern) setBit(engine.bitsOfClass[symbolClassOf[byte]], bit++);
        setBit(engine.stopBits, bit - 1);
    }
    return true;
}

}  // namespace motifscan
