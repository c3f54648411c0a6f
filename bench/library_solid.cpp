// bench_library_solid: gemprobe's batch Solid::contains on points already in
// memory, against the program on the same points written as %.17g text.
//
//   bench_library_solid write SOLID INPUT   the program's input (one set)
//   bench_library_solid time SOLID VERDICTS seconds of one batch call on
//                                           one thread, and its verdicts as
//                                           the program prints them
//
// SOLID "prism": 80 walls, a prism over a regular 78-gon of radius 1 and
// height 1, its vertices rounded to double; "cube": the unit cube. The 10^6
// points are uniform in a box 20% larger than the solid's.

#include <gemprobe/gemprobe.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

namespace {

constexpr int sides = 78;
constexpr std::size_t pointCount = 1000000;

std::vector<std::vector<gemprobe::Point>> cubeWalls() {
    return {{{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 0, 1}, {0, 1, 1}, {1, 1, 1}, {1, 0, 1}},
            {{0, 0, 0}, {0, 0, 1}, {1, 0, 1}, {1, 0, 0}}, {{0, 1, 0}, {1, 1, 0}, {1, 1, 1}, {0, 1, 1}},
            {{0, 0, 0}, {0, 1, 0}, {0, 1, 1}, {0, 0, 1}}, {{1, 0, 0}, {1, 0, 1}, {1, 1, 1}, {1, 1, 0}}};
}

std::vector<std::vector<gemprobe::Point>> prismWalls() {
    std::vector<gemprobe::Point> bottom, top;
    for (int k = 0; k < sides; ++k) {
        double const angle = 2 * std::numbers::pi * k / sides;
        bottom.push_back({std::cos(angle), std::sin(angle), 0});
        top.push_back({std::cos(angle), std::sin(angle), 1});
    }
    std::vector<std::vector<gemprobe::Point>> walls;
    for (int k = 0; k < sides; ++k) {
        int const next = (k + 1) % sides;
        walls.push_back({bottom[k], bottom[next], top[next], top[k]});
    }
    walls.push_back(bottom);
    walls.push_back(top);
    return walls;
}

std::vector<gemprobe::Point> points(bool cube) {
    std::mt19937_64 random(19);
    std::uniform_real_distribution<double> across(cube ? -0.1 : -1.2, cube ? 1.1 : 1.2), up(-0.1, 1.1);
    std::vector<gemprobe::Point> p(pointCount);
    for (gemprobe::Point& q : p) {
        double const x = across(random), y = cube ? up(random) : across(random), z = up(random);
        q = {x, y, z};
    }
    return p;
}

void print(std::FILE* out, gemprobe::Point const& p) {
    std::fprintf(out, "%.17g %.17g %.17g", static_cast<double>(p.x), static_cast<double>(p.y),
                 static_cast<double>(p.z));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4 || (std::strcmp(argv[1], "write") != 0 && std::strcmp(argv[1], "time") != 0) ||
        (std::strcmp(argv[2], "cube") != 0 && std::strcmp(argv[2], "prism") != 0)) {
        std::fprintf(stderr, "usage: bench_library_solid write|time cube|prism FILE\n");
        return 2;
    }
    bool const cube = std::strcmp(argv[2], "cube") == 0;
    auto const walls = cube ? cubeWalls() : prismWalls();
    auto const p = points(cube);
    std::FILE* const out = std::fopen(argv[3], "w");
    if (out == nullptr) {
        std::perror(argv[3]);
        return 1;
    }
    if (std::strcmp(argv[1], "write") == 0) {
        std::fprintf(out, "1\n%zu\n", walls.size());
        for (auto const& w : walls) {
            std::fprintf(out, "%zu", w.size());
            for (auto const& v : w) std::fputc(' ', out), print(out, v);
            std::fputc('\n', out);
        }
        std::fprintf(out, "%zu\n", p.size());
        for (auto const& q : p) print(out, q), std::fputc('\n', out);
        return std::fclose(out) == 0 ? 0 : 1;
    }
    // The solid is built outside the clock: a caller builds it once.
    gemprobe::Solid const solid(walls);
    auto verdicts = std::make_unique<bool[]>(p.size());
    auto const start = std::chrono::steady_clock::now();
    solid.contains(p, {verdicts.get(), p.size()});
    double const seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (std::size_t i = 0; i < p.size(); ++i) std::fputs(verdicts[i] ? "TAK\n" : "NIE\n", out);
    std::fputc('\n', out);
    std::printf("%.6f\n", seconds);
    return std::fclose(out) == 0 ? 0 : 1;
}
