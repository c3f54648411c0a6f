#pragma once

// Properties both fuzz targets check on every run of a program from memory.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

[[noreturn]] inline void fail(char const* what, std::string const& detail) {
    std::fprintf(stderr, "property violated: %s\n%s\n", what, detail.c_str());
    std::abort();
}

// Two runs of one input, with different buffer sizes, must agree in everything.
template <class Run>
void checkSameRun(Run const& a, Run const& b) {
    if (a.finished != b.finished || a.output != b.output || a.error != b.error) {
        fail("the buffer size changed the result", a.error + " / " + b.error);
    }
}

// Every output line passes `isAnswer`, and every line ends in a newline.
template <class IsAnswer>
void checkAnswerLines(std::string const& output, IsAnswer isAnswer) {
    for (std::size_t start = 0; start < output.size();) {
        std::size_t const end = output.find('\n', start);
        if (end == std::string::npos) fail("an unterminated output line", output);
        if (!isAnswer(std::string_view(output).substr(start, end - start)))
            fail("an unexpected output line", output);
        start = end + 1;
    }
}

// A run that stops early says why in one line the program prefixes with its name.
inline void checkErrorLine(std::string const& error) {
    bool const oneLine = !error.empty() && error.find('\n') == std::string::npos;
    bool const known = error.rfind("line ", 0) == 0 || error.rfind("read error: ", 0) == 0;
    if (!oneLine || !known) fail("an error that is not one known line", error);
}
