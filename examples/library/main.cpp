// Both engines called from memory: no text to print and parse back.
#include <gemprobe/gemprobe.h>
#include <motifscan/motifscan.h>

#include <cstdio>
#include <string_view>
#include <vector>

int main() {
    // The corner tetrahedron, wall by wall; the first wall's orientation
    // tells the others on which side the inside lies.
    gemprobe::Point const o{0, 0, 0}, x{1, 0, 0}, y{0, 1, 0}, z{0, 0, 1};
    std::vector<std::vector<gemprobe::Point>> const walls{{o, x, y}, {o, x, z}, {o, y, z}, {x, y, z}};
    gemprobe::Solid const tetrahedron(walls);
    std::vector<gemprobe::Point> const points{{0.1L, 0.1L, 0.1L}, {1, 1, 1}, {0.25L, 0.25L, 0.5L}};
    for (gemprobe::Point const& point : points) std::puts(tetrahedron.contains(point) ? "TAK" : "NIE");

    std::vector<std::string_view> const words{"AB", "BC"};
    motifscan::Patterns const patterns(words);
    std::printf("%llu\n", static_cast<unsigned long long>(motifscan::count(patterns, "ABCAB")));
    // The same message in two chunks: an occurrence may straddle them.
    motifscan::Counter counter(patterns);
    counter.feed("ABCA");
    counter.feed("B");
    std::printf("%llu\n", static_cast<unsigned long long>(counter.count()));
}
