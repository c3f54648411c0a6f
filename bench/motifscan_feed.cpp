// The motifscan library's Counter fed one message in chunks of every size,
// against one count() of the whole message: nanoseconds per message byte,
// best of RUNS. The shapes are the hard ones for feeding: long periodic
// patterns, whose partial matches stay alive across every chunk, and a
// dictionary of short words.
//
//     bench_motifscan_feed [MEGABYTES] [RUNS]      (default 8 and 5)

#include <motifscan/motifscan.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

double nanosecondsPerByte(std::string const& message, int runs, auto&& scan) {
    double best = 1e300;
    for (int run = 0; run < runs; ++run) {
        auto const start = std::chrono::steady_clock::now();
        scan();
        std::chrono::duration<double, std::nano> const took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count() / static_cast<double>(message.size()));
    }
    return best;
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t const megabytes = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 8;
    int const runs = argc > 2 ? std::atoi(argv[2]) : 5;
    std::mt19937 random(19);
    auto word = [&](std::string_view alphabet, std::size_t length) {
        std::string text;
        for (std::size_t k = 0; k < length; ++k) text.push_back(alphabet[random() % alphabet.size()]);
        return text;
    };

    struct Shape {
        char const* name;
        std::vector<std::string> patterns;
        std::string message;
    };
    std::vector<Shape> shapes(2);
    shapes[0].name = "2 periodic patterns of 4,000 letters";
    std::string const period = "ABAABAAAB";
    std::string longest;
    while (longest.size() < 4000) longest += period;
    shapes[0].patterns = {longest, longest.substr(0, 3999) + "C"};
    while (shapes[0].message.size() < megabytes << 20) shapes[0].message += period;
    shapes[1].name = "300 words of 5-10 letters";
    for (int k = 0; k < 300; ++k)
        shapes[1].patterns.push_back(word("ABCDEFGHIJKLMNOPQRSTUVWXYZ", 5 + random() % 6));
    shapes[1].message = word("ABCDEFGHIJKLMNOPQRSTUVWXYZ", megabytes << 20);

    std::printf(
        "| shape | count() | 1-byte chunks | 16 | 4 KiB | 64 KiB | 1 MiB |\n|---|---|---|---|---|---|---|\n");
    for (Shape const& shape : shapes) {
        std::vector<std::string_view> const views(shape.patterns.begin(), shape.patterns.end());
        motifscan::Patterns const patterns(views);
        std::uint64_t const expected = motifscan::count(patterns, shape.message);
        std::printf(
            "| %s (%llu occurrences) | %.2f", shape.name, static_cast<unsigned long long>(expected),
            nanosecondsPerByte(shape.message, runs, [&] { motifscan::count(patterns, shape.message); }));
        for (std::size_t const size :
             {std::size_t{1}, std::size_t{16}, std::size_t{4096}, std::size_t{65536}, std::size_t{1} << 20}) {
            std::uint64_t counted = 0;
            double const ns = nanosecondsPerByte(shape.message, runs, [&] {
                motifscan::Counter counter(patterns);
                std::string_view const message = shape.message;
                for (std::size_t at = 0; at < message.size(); at += size)
                    counter.feed(message.substr(at, size));
                counted = counter.count();
            });
            if (counted != expected) {
                std::fprintf(stderr, "%s: chunks of %zu count %llu, not %llu\n", shape.name, size,
                             static_cast<unsigned long long>(counted),
                             static_cast<unsigned long long>(expected));
                return 1;
            }
            std::printf(" | %.2f", ns);
        }
        std::printf(" |\n");
    }
}
