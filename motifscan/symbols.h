#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace motifscan {

// Message bytes are 'A'..'Z' (classes 0..25) and '*' (26); every other byte
// ends the message (class 27). Patterns are compared byte for byte, so a
// pattern holding any other byte can never complete.
constexpr int symbolClasses = 28;
constexpr int messageSymbols = 27;
constexpr std::uint8_t terminatorClass = 27;

constexpr std::array<std::uint8_t, 256> symbolClassOf = [] {
    std::array<std::uint8_t, 256> classes{};
    for (std::uint8_t& c : classes) c = terminatorClass;
    for (int letter = 'A'; letter <= 'Z'; ++letter) classes[letter] = static_cast<std::uint8_t>(letter - 'A');
    classes['*'] = 26;
    return classes;
}();

// Whether the pattern can ever complete: non-empty, and made of message
// symbols only ("A".."Z" and "*").
inline bool canComplete(std::string const& pattern) {
    for (unsigned char byte : pattern) {
        if (symbolClassOf[byte] == terminatorClass) return false;
    }
    return !pattern.empty();
}

// What the engines need to know of a task's patterns before choosing, taken
// in one pass over the patterns that can complete.
struct patternSizes {
    std::size_t count = 0;
    std::size_t symbols = 0;
    std::size_t shortest = 0;  // 0 when there are none
    std::size_t longest = 0;
};

inline patternSizes measurePatterns(std::vector<std::string> const& patterns) {
    patternSizes sizes;
    for (std::string const& pattern : patterns) {
        if (!canComplete(pattern)) continue;
        ++sizes.count;
        sizes.symbols += pattern.size();
        sizes.shortest = sizes.count == 1 ? pattern.size() : std::min(sizes.shortest, pattern.size());
        sizes.longest = std::max(sizes.longest, pattern.size());
    }
    return sizes;
}

}  // namespace motifscan
