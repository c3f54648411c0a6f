#include "reference_model.h"

#include <cstdio>
#include <iostream>
#include <list>
#include <string>
#include <vector>

int m = 0;
std::vector<std::string> wzorce;

namespace {

int currentTask = 0;
int taskWhereInputEnds = 0;

void noteEndOfInput() {
    if (taskWhereInputEnds == 0) taskWhereInputEnds = currentTask;
}

bool isMessageByte(int c) { return (c >= 'A' && c <= 'Z') || c == '*'; }

// podciag over the bytes `next` gives (EOF at the end), with the patterns given.
template <class NextByte>
int podciagOver(int m, std::vector<std::string> const& wzorce, NextByte next) {
    std::vector<std::list<int>> partials(static_cast<std::size_t>(m));
    for (;;) {
        int const c = next();
        if (!isMessageByte(c)) return 0;
        for (int k = 0; k < m; ++k) {
            std::string const& pattern = wzorce[static_cast<std::size_t>(k)];
            std::list<int>& partial = partials[static_cast<std::size_t>(k)];
            if (!pattern.empty() && pattern[0] == c) partial.push_back(0);
            for (auto entry = partial.begin(); entry != partial.end();) {
                int const p = *entry;
                if (pattern[static_cast<std::size_t>(p)] != c) {
                    entry = partial.erase(entry);
                    continue;
                }
                *entry = p + 1;
                if (static_cast<std::size_t>(p + 1) == pattern.size()) return 1;
                ++entry;
            }
        }
    }
}

}  // namespace

int podciag() {
    return podciagOver(m, wzorce, [] { return std::getchar(); });
}

std::uint64_t referenceCount(std::vector<std::string> const& patterns, std::string_view message) {
    std::size_t at = 0;
    auto const next = [&]() -> int {
        return at < message.size() ? static_cast<unsigned char>(message[at++]) : EOF;
    };
    std::uint64_t count = 0;
    while (at < message.size())
        count += static_cast<std::uint64_t>(podciagOver(static_cast<int>(patterns.size()), patterns, next));
    return count;
}

int zadanie() {
    int count = 0;
    m = 0;
    wzorce.clear();
    // glibc reports the end of input as EOF before any conversion, and as 0
    // after a lone sign.
    int const converted = std::scanf("%d\n", &m);
    if (converted == EOF || (converted == 0 && std::feof(stdin))) noteEndOfInput();
    for (int k = 0; k < m; ++k) {
        std::string line;
        if (!std::getline(std::cin, line)) noteEndOfInput();
        wzorce.push_back(line);
    }
    while (podciag() == 1) ++count;
    return count;
}

int referenceMotifscan(std::FILE* out) {
    currentTask = 0;
    taskWhereInputEnds = 0;
    int taskCount = 0;
    if (std::scanf("%d", &taskCount) != 1) taskCount = 0;
    for (int k = 0; k < taskCount; ++k) {
        currentTask = k + 1;
        std::fprintf(out, "%d\n", zadanie());
    }
    return taskWhereInputEnds;
}
