// bench_spellings SPELLING SOLID [POINTS]: writes a gemprobe input whose
// coordinates are all spelt one way, the way programs print doubles.
//
//   SPELLING  f3e6 (%.3f of values up to 10^6), f6, f9, g12, g15, g16, g17,
//             e17, shortest (the shortest text that reads back the same
//             double, as Python's repr), mixed (one of these per coordinate)
//   SOLID     tet: one set, a tetrahedron far larger than the points (every
//             point inside, every value read, the geometry trivial);
//             cube: one set, the unit cube, points around it;
//             small: 50,000 unit cubes of 10 points each
//   POINTS    points of the one-set inputs (default 1,500,000)
//
// The values are drawn with a fixed seed, so every run writes the same bytes.

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <string_view>

namespace {

constexpr char const* spellings[] = {"f3e6", "f6", "f9", "g12", "g15", "g16", "g17", "e17", "shortest"};
constexpr int spellingCount = sizeof spellings / sizeof spellings[0];

int spellingIndex(std::string_view name) {
    for (int k = 0; k < spellingCount; ++k)
        if (name == spellings[k]) return k;
    return name == "mixed" ? spellingCount : -1;
}

// Appends v in spelling k, then `after`.
void spell(std::string& out, int k, double v, char after) {
    char text[64];
    int length = 0;
    switch (k) {
        case 0:
            length = std::snprintf(text, sizeof text, "%.3f", v * 1e6);
            break;
        case 1:
            length = std::snprintf(text, sizeof text, "%.6f", v);
            break;
        case 2:
            length = std::snprintf(text, sizeof text, "%.9f", v);
            break;
        case 3:
            length = std::snprintf(text, sizeof text, "%.12g", v);
            break;
        case 4:
            length = std::snprintf(text, sizeof text, "%.15g", v);
            break;
        case 5:
            length = std::snprintf(text, sizeof text, "%.16g", v);
            break;
        case 6:
            length = std::snprintf(text, sizeof text, "%.17g", v);
            break;
        case 7:
            length = std::snprintf(text, sizeof text, "%.17e", v);
            break;
        default:
            length = static_cast<int>(std::to_chars(text, text + sizeof text, v).ptr - text);
            break;
    }
    out.append(text, static_cast<std::size_t>(length));
    out.push_back(after);
}

void writeCube(std::string& out, double low, double high) {
    auto const corner = [&](int bits, int axis) { return (bits >> axis & 1) ? high : low; };
    // Faces by the fixed axis and side; corners listed around each face.
    static constexpr int faces[6][4] = {{0, 2, 6, 4}, {1, 3, 7, 5}, {0, 1, 5, 4},
                                        {2, 3, 7, 6}, {0, 1, 3, 2}, {4, 5, 7, 6}};
    out += "6\n";
    for (auto const& face : faces) {
        out += "4\n";
        for (int c : face) {
            char line[96];
            std::snprintf(line, sizeof line, "%.17g %.17g %.17g\n", corner(c, 0), corner(c, 1), corner(c, 2));
            out += line;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    int const k = argc >= 3 ? spellingIndex(argv[1]) : -1;
    std::string_view const solid = argc >= 3 ? argv[2] : "";
    if (k < 0 || (solid != "tet" && solid != "cube" && solid != "small")) {
        std::fprintf(stderr, "usage: bench_spellings SPELLING tet|cube|small [POINTS]\n");
        return 2;
    }
    long const points = argc >= 4 ? std::atol(argv[3]) : 1500000;
    std::mt19937_64 random(20261208);
    std::uniform_int_distribution<int> anySpelling(0, spellingCount - 1);
    std::string out;
    out.reserve(1 << 22);
    auto const flushIfLarge = [&] {
        if (out.size() >= (1u << 22)) {
            std::fwrite(out.data(), 1, out.size(), stdout);
            out.clear();
        }
    };
    auto const writePoints = [&](long count, double low, double high) {
        std::uniform_real_distribution<double> coordinate(low, high);
        for (long i = 0; i < count; ++i) {
            for (int axis = 0; axis < 3; ++axis) {
                int const spelling = k == spellingCount ? anySpelling(random) : k;
                spell(out, spelling, coordinate(random), axis == 2 ? '\n' : ' ');
            }
            flushIfLarge();
        }
    };
    if (solid == "small") {
        out += "50000\n";
        for (int set = 0; set < 50000; ++set) {
            writeCube(out, 0, 1);
            out += "10\n";
            writePoints(10, -0.25, 1.25);
        }
    } else if (solid == "cube") {
        out += "1\n";
        writeCube(out, 0, 1);
        out += std::to_string(points) + "\n";
        writePoints(points, -0.25, 1.25);
    } else {
        // A regular tetrahedron about the origin, whose inner ball holds
        // every point of [-1, 1]^3 (times 10^6 for f3e6) many times over.
        out +=
            "1\n4\n"
            "3\n1e12 1e12 1e12\n1e12 -1e12 -1e12\n-1e12 1e12 -1e12\n"
            "3\n1e12 1e12 1e12\n-1e12 1e12 -1e12\n-1e12 -1e12 1e12\n"
            "3\n1e12 1e12 1e12\n-1e12 -1e12 1e12\n1e12 -1e12 -1e12\n"
            "3\n1e12 -1e12 -1e12\n-1e12 1e12 -1e12\n-1e12 -1e12 1e12\n";
        out += std::to_string(points) + "\n";
        writePoints(points, -1, 1);
    }
    std::fwrite(out.data(), 1, out.size(), stdout);
    return std::fflush(stdout) == 0 ? 0 : 1;
}
