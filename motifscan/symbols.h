#pragma once

#include <array>
#include <cstdint>
#include <string>

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
