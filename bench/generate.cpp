// Deterministic benchmark inputs (fixed seeds): bench_generate SHAPE SCALE
// writes one shape to standard output: 1-3 and 7-10 gemprobe; 4-6, 11-17,
// 21-27 and 31-44 motifscan. SCALE multiplies the number of points, sets,
// message bytes, patterns or tasks. The text shapes 37-39 take a third
// argument, the corpus (bench/motif_peers.sh builds it).

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

using Point = std::array<double, 3>;
using Triangle = std::array<int, 3>;

struct Mesh {
    std::vector<Point> vertices;
    std::vector<Triangle> faces;
};

Point onSphere(Point p) {
    double const r = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
    return {p[0] / r, p[1] / r, p[2] / r};
}

// An icosahedron whose faces are split in four `levels` times, with the new
// vertices pushed onto the unit sphere: 20 * 4^levels faces, convex.
Mesh geodesicSphere(int levels) {
    double const t = (1 + std::sqrt(5.0)) / 2;
    Mesh mesh;
    for (Point p : std::vector<Point>{{-1, t, 0},
                                      {1, t, 0},
                                      {-1, -t, 0},
                                      {1, -t, 0},
                                      {0, -1, t},
                                      {0, 1, t},
                                      {0, -1, -t},
                                      {0, 1, -t},
                                      {t, 0, -1},
                                      {t, 0, 1},
                                      {-t, 0, -1},
                                      {-t, 0, 1}}) {
        mesh.vertices.push_back(onSphere(p));
    }
    mesh.faces = {{0, 11, 5},  {0, 5, 1},  {0, 1, 7},  {0, 7, 10}, {0, 10, 11}, {1, 5, 9}, {5, 11, 4},
                  {11, 10, 2}, {10, 7, 6}, {7, 1, 8},  {3, 9, 4},  {3, 4, 2},   {3, 2, 6}, {3, 6, 8},
                  {3, 8, 9},   {4, 9, 5},  {2, 4, 11}, {6, 2, 10}, {8, 6, 7},   {9, 8, 1}};
    for (int level = 0; level < levels; ++level) {
        std::vector<Triangle> finer;
        auto middle = [&](int a, int b) {
            Point const& p = mesh.vertices[a];
            Point const& q = mesh.vertices[b];
            mesh.vertices.push_back(onSphere({(p[0] + q[0]) / 2, (p[1] + q[1]) / 2, (p[2] + q[2]) / 2}));
            return static_cast<int>(mesh.vertices.size() - 1);
        };
        for (Triangle const& f : mesh.faces) {
            // Edges are split once per face: duplicated midpoints are harmless here.
            int const ab = middle(f[0], f[1]), bc = middle(f[1], f[2]), ca = middle(f[2], f[0]);
            finer.push_back({f[0], ab, ca});
            finer.push_back({f[1], bc, ab});
            finer.push_back({f[2], ca, bc});
            finer.push_back({ab, bc, ca});
        }
        mesh.faces = finer;
    }
    return mesh;
}

void printSolid(Mesh const& mesh, double radius, std::mt19937_64& rng) {
    std::printf("%zu\n", mesh.faces.size());
    for (Triangle f : mesh.faces) {
        if (rng() % 2) std::swap(f[1], f[2]);  // either winding
        std::printf("3");
        for (int v : f) {
            Point const& p = mesh.vertices[v];
            std::printf("  %.0f %.0f %.0f", std::round(p[0] * radius), std::round(p[1] * radius),
                        std::round(p[2] * radius));
        }
        std::printf("\n");
    }
}

// Points with three decimals; `insideShare` of them well inside the sphere of
// the given radius, the rest in a shell around it.
void printPoints(long count, double radius, double insideShare, std::mt19937_64& rng) {
    std::normal_distribution<double> normal;
    std::uniform_real_distribution<double> unit(0, 1);
    std::printf("%ld\n", count);
    for (long i = 0; i < count; ++i) {
        Point const direction = onSphere({normal(rng), normal(rng), normal(rng)});
        double const r = unit(rng) < insideShare ? 0.9 * std::cbrt(unit(rng)) : 1.02 + 0.5 * unit(rng);
        std::printf("%.3f %.3f %.3f\n", direction[0] * r * radius, direction[1] * r * radius,
                    direction[2] * r * radius);
    }
}

void manyPoints(long scale) {
    std::mt19937_64 rng(1);
    std::printf("1\n");
    printSolid(geodesicSphere(1), 1e6, rng);
    printPoints(400000 * scale, 1e6, 0.85, rng);
}

void largeSolid(long scale) {
    std::mt19937_64 rng(2);
    std::printf("1\n");
    printSolid(geodesicSphere(4), 1e6, rng);
    printPoints(8000 * scale, 1e6, 0.95, rng);
}

void manySmallSets(long scale) {
    std::mt19937_64 rng(3);
    static char const* const faces[6][2] = {
        {"0 0 0  1 0 0  1 1 0  0 1 0", "0 1 0  1 1 0  1 0 0  0 0 0"},
        {"0 0 1  1 0 1  1 1 1  0 1 1", "0 1 1  1 1 1  1 0 1  0 0 1"},
        {"0 0 0  1 0 0  1 0 1  0 0 1", "0 0 1  1 0 1  1 0 0  0 0 0"},
        {"0 1 0  1 1 0  1 1 1  0 1 1", "0 1 1  1 1 1  1 1 0  0 1 0"},
        {"0 0 0  0 1 0  0 1 1  0 0 1", "0 0 1  0 1 1  0 1 0  0 0 0"},
        {"1 0 0  1 1 0  1 1 1  1 0 1", "1 0 1  1 1 1  1 1 0  1 0 0"},
    };
    std::uniform_real_distribution<double> around(-0.25, 1.25);
    long const sets = 50000 * scale;
    std::printf("%ld\n", sets);
    for (long s = 0; s < sets; ++s) {
        std::printf("6\n");
        for (auto const& face : faces) std::printf("4  %s\n", face[rng() % 2]);
        std::printf("10\n");
        for (int i = 0; i < 10; ++i) {
            std::printf("%.3f %.3f %.3f\n", around(rng), around(rng), around(rng));
        }
    }
}

// gemprobe at the speed of reading: about 100 MB of points (three decimals)
// per unit of scale against the 80-wall sphere of shape 1.
constexpr long pointsPer100MB = 2800000;

void manyPointsAt100MB(long scale) {
    std::mt19937_64 rng(7);
    std::mt19937_64 solidRng(8);
    std::printf("1\n");
    printSolid(geodesicSphere(1), 1e6, solidRng);
    printPoints(pointsPer100MB * scale, 1e6, 0.85, rng);
}

// The same points inside a sphere a thousand times larger: every point falls
// in the inner ball, so reading the numbers is nearly all the work.
void pointsInAFarLargerSolid(long scale) {
    std::mt19937_64 rng(7);
    std::mt19937_64 solidRng(8);
    std::printf("1\n");
    printSolid(geodesicSphere(1), 1e9, solidRng);
    printPoints(pointsPer100MB * scale, 1e6, 0.85, rng);
}

// Huge solids: a sphere of 20 * 4^levels walls (20,480 at level 5, 81,920 at
// level 6) and 20,000 points per unit of scale.
void hugeSolid(int levels, long scale) {
    std::mt19937_64 rng(9);
    std::printf("1\n");
    printSolid(geodesicSphere(levels), 1e6, rng);
    printPoints(20000 * scale, 1e6, 0.95, rng);
}

std::string randomText(std::mt19937_64& rng, long length) {
    static char const symbols[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ*";
    std::string text;
    text.reserve(static_cast<std::size_t>(length));
    for (long i = 0; i < length; ++i) text.push_back(symbols[rng() % 27]);
    return text;
}

void dictionary(long scale) {
    std::mt19937_64 rng(4);
    std::printf("1\n300\n");
    for (int i = 0; i < 300; ++i)
        std::printf("%s\n", randomText(rng, 4 + static_cast<long>(rng() % 9)).c_str());
    std::printf("%s\n", randomText(rng, 1000000 * scale).c_str());
}

void repetitive(long scale) {
    std::string ab;
    for (int i = 0; i < 300; ++i) ab += "AB";
    std::printf("1\n3\n%sB\n%sC\n%sD\n", std::string(1000, 'A').c_str(), std::string(500, 'A').c_str(),
                ab.c_str());
    // Long runs of A broken by a B now and then: every A keeps hundreds of
    // partial matches of the long patterns alive in a straightforward scan.
    std::mt19937_64 rng(5);
    std::string message;
    long const length = 1000000 * scale;
    while (static_cast<long>(message.size()) < length) {
        message.append(300 + rng() % 1400, 'A');
        message.push_back(rng() % 3 ? 'B' : 'C');
    }
    message.resize(static_cast<std::size_t>(length));
    std::printf("%s\n", message.c_str());
}

void manySmallTasks(long scale) {
    std::mt19937_64 rng(6);
    long const tasks = 100000 * scale;
    std::printf("%ld\n", tasks);
    for (long t = 0; t < tasks; ++t) {
        std::printf("3\n");
        for (int i = 0; i < 3; ++i) {
            std::string pattern;
            for (long k = 1 + static_cast<long>(rng() % 4); k > 0; --k) pattern.push_back("ABC*"[rng() % 4]);
            std::printf("%s\n", pattern.c_str());
        }
        std::string message;
        for (int i = 0; i < 60; ++i) message.push_back("ABCD*"[rng() % 5]);
        std::printf("%s\n", message.c_str());
    }
}

// Pattern-heavy motifscan shapes (11-17): big pattern sets, short messages.
// SCALE multiplies the pattern bytes or the tasks; the messages stay short.

std::string lettersText(std::mt19937_64& rng, long length) {
    std::string text;
    text.reserve(static_cast<std::size_t>(length));
    for (long i = 0; i < length; ++i) text.push_back(static_cast<char>('A' + rng() % 26));
    return text;
}

void oneTaskOfPatterns(long count, long length, std::mt19937_64& rng) {
    std::printf("1\n%ld\n", count);
    for (long i = 0; i < count; ++i) std::printf("%s\n", randomText(rng, length).c_str());
    std::printf("%s\n", randomText(rng, 20).c_str());
}

void onePattern1MB(long scale) {
    std::mt19937_64 rng(11);
    oneTaskOfPatterns(1, 1000000 * scale, rng);
}

void onePattern5MB(long scale) {
    std::mt19937_64 rng(12);
    oneTaskOfPatterns(1, 5000000 * scale, rng);
}

void manyShortPatterns(long scale) {
    std::mt19937_64 rng(13);
    oneTaskOfPatterns(550000 * scale, 8, rng);
}

void manyLongPatterns(long scale) {
    std::mt19937_64 rng(14);
    oneTaskOfPatterns(5000 * scale, 1000, rng);
}

// Tasks just above what one 64-bit word holds: 70 and 64 pattern symbols.
void tasksOfTwo35(long scale) {
    std::mt19937_64 rng(15);
    long const tasks = 200000 * scale;
    std::printf("%ld\n", tasks);
    for (long t = 0; t < tasks; ++t) {
        std::string const first = randomText(rng, 35), second = randomText(rng, 35);
        std::printf("2\n%s\n%s\n%s\n", first.c_str(), second.c_str(), randomText(rng, 10).c_str());
    }
}

void tasksOfOne64(long scale) {
    std::mt19937_64 rng(16);
    long const tasks = 200000 * scale;
    std::printf("%ld\n", tasks);
    for (long t = 0; t < tasks; ++t) std::printf("1\n%s\n\n", randomText(rng, 64).c_str());
}

// One pattern of 30 million symbols (times SCALE) with itself as the message:
// the scan walks every state the pattern has.
void patternAsMessage(long scale) {
    std::mt19937_64 rng(17);
    std::string const pattern = randomText(rng, 30000000 * scale);
    std::printf("1\n1\n%s\n%s\n", pattern.c_str(), pattern.c_str());
}

// Message-heavy motifscan shapes (21-27): one task, a message of 100 MB times
// SCALE, written in blocks so the generator stays small.

void printMessage(long length, std::mt19937_64& rng, std::string (*block)(std::mt19937_64&)) {
    long written = 0;
    while (written < length) {
        std::string piece = block(rng);
        if (static_cast<long>(piece.size()) > length - written)
            piece.resize(static_cast<std::size_t>(length - written));
        std::fwrite(piece.data(), 1, piece.size(), stdout);
        written += static_cast<long>(piece.size());
    }
    std::printf("\n");
}

constexpr long messageBytes = 100000000;

std::string letterBlock(std::mt19937_64& rng) { return lettersText(rng, 1 << 16); }

void randomDictionary(int patterns, unsigned seed, long scale) {
    std::mt19937_64 rng(seed);
    std::printf("1\n%d\n", patterns);
    for (int i = 0; i < patterns; ++i)
        std::printf("%s\n", lettersText(rng, 4 + static_cast<long>(rng() % 13)).c_str());
    printMessage(messageBytes * scale, rng, letterBlock);
}

// Runs of 300 to 1,700 A broken by a B or a C, against patterns that keep
// long partial matches alive over every run.
std::string runOfA(std::mt19937_64& rng) {
    std::string run(300 + rng() % 1400, 'A');
    run.push_back(rng() % 3 ? 'B' : 'C');
    return run;
}

void repetitiveMessage(long scale) {
    std::mt19937_64 rng(25);
    std::string ab;
    for (int i = 0; i < 300; ++i) ab += "AB";
    std::printf("1\n3\n%sB\n%sC\n%sD\n", std::string(1000, 'A').c_str(), std::string(500, 'A').c_str(),
                ab.c_str());
    printMessage(messageBytes * scale, rng, runOfA);
}

// 1,000 patterns of 3 letters (five of them of 2) over random letters: an
// occurrence about every 15 bytes.
void denseMatches(long scale) {
    std::mt19937_64 rng(26);
    std::printf("1\n1000\n");
    for (int i = 0; i < 1000; ++i) std::printf("%s\n", lettersText(rng, i < 5 ? 2 : 3).c_str());
    printMessage(messageBytes * scale, rng, letterBlock);
}

// Many small well-formed tasks with SCALE as the seed, for checking that
// other counters of the same rule print the same counts: small alphabets
// force overlaps, nested and repeated patterns, m = 0 and empty messages.
void smallRandomTasks(long scale) {
    std::mt19937_64 rng(static_cast<std::uint64_t>(2700 + scale));
    static char const* const alphabets[] = {"A", "AB", "AB*", "ABC", "ABCDEFGHIJKLMNOPQRSTUVWXYZ*"};
    long const tasks = 2000;
    std::printf("%ld\n", tasks);
    for (long t = 0; t < tasks; ++t) {
        std::string const alphabet = alphabets[rng() % 5];
        auto word = [&](long length) {
            std::string text;
            for (long i = 0; i < length; ++i) text.push_back(alphabet[rng() % alphabet.size()]);
            return text;
        };
        long const m = static_cast<long>(rng() % 6);
        std::printf("%ld\n", m);
        for (long k = 0; k < m; ++k) std::printf("%s\n", word(static_cast<long>(rng() % 7)).c_str());
        std::printf("%s\n", word(static_cast<long>(rng() % 80)).c_str());
    }
}

// Real-data motifscan shapes (31-44), for bench/motif_peers.sh. Messages are
// built in memory first, so that half of the patterns can be taken from them.

void printPatterns(std::vector<std::string> const& patterns) {
    std::printf("1\n%zu\n", patterns.size());
    for (std::string const& pattern : patterns) std::printf("%s\n", pattern.c_str());
}

void printText(std::string const& message) {
    std::fwrite(message.data(), 1, message.size(), stdout);
    std::printf("\n");
}

std::string overAlphabet(std::mt19937_64& rng, long length, std::string const& alphabet) {
    std::string text(static_cast<std::size_t>(length), ' ');
    for (char& c : text) c = alphabet[rng() % alphabet.size()];
    return text;
}

// `count` patterns of `length` bases, the even-numbered ones copied from
// random places of the message, the others random.
std::vector<std::string> halfFromMessage(std::mt19937_64& rng, std::string const& message, long count,
                                         long length) {
    std::vector<std::string> patterns;
    for (long k = 0; k < count; ++k) {
        if (k % 2 == 0) {
            std::size_t const at = rng() % (message.size() - static_cast<std::size_t>(length) + 1);
            patterns.push_back(message.substr(at, static_cast<std::size_t>(length)));
        } else {
            patterns.push_back(overAlphabet(rng, length, "ACGT"));
        }
    }
    return patterns;
}

// DNA: `count` patterns of `length` bases over a random message of `bytes`
// bases. SCALE 0 prints the same patterns with an empty message, for
// telling the message's scan from the work on the patterns.
void dna(long count, long length, long bytes, unsigned seed, long scale) {
    std::mt19937_64 rng(seed);
    std::string const message = overAlphabet(rng, bytes, "ACGT");
    printPatterns(halfFromMessage(rng, message, count, length));
    for (long k = 0; k < scale; ++k) std::fwrite(message.data(), 1, message.size(), stdout);
    std::printf("\n");
}

// Random messages over the 26 letters, `count` patterns of min..max letters.
void letters(long count, long shortest, long longest, long bytes, unsigned seed, long scale) {
    std::mt19937_64 rng(seed);
    std::vector<std::string> patterns;
    for (long k = 0; k < count; ++k)
        patterns.push_back(lettersText(rng, shortest + static_cast<long>(rng() % (longest - shortest + 1))));
    printPatterns(patterns);
    printMessage(bytes * scale, rng, letterBlock);
}

// English-like text: CORPUS holds words of capital letters separated by
// single '*'. The message is the corpus repeated to `bytes`; the patterns
// are `count` words drawn uniformly, with replacement, from its distinct
// words of 3 letters or more (the Python sources of one Debian system have
// about 26,000 of them, fewer than the largest shape draws).
void text(char const* corpusPath, long count, long bytes, unsigned seed) {
    std::FILE* const file = std::fopen(corpusPath, "rb");
    if (file == nullptr) {
        std::perror(corpusPath);
        std::exit(2);
    }
    std::string corpus;
    char block[1 << 16];
    for (std::size_t got; (got = std::fread(block, 1, sizeof block, file)) > 0;) corpus.append(block, got);
    std::fclose(file);
    std::vector<std::string> words;
    for (std::size_t from = 0; from < corpus.size();) {
        std::size_t end = corpus.find('*', from);
        if (end == std::string::npos) end = corpus.size();
        if (end - from >= 3) words.push_back(corpus.substr(from, end - from));
        from = end + 1;
    }
    if (words.empty()) {
        std::fprintf(stderr, "bench_generate: no words of 3 letters or more in the corpus\n");
        std::exit(2);
    }
    std::sort(words.begin(), words.end());
    words.erase(std::unique(words.begin(), words.end()), words.end());
    std::mt19937_64 rng(seed);
    std::vector<std::string> patterns;
    for (long k = 0; k < count; ++k) patterns.push_back(words[rng() % words.size()]);
    printPatterns(patterns);
    for (long written = 0; written < bytes;) {
        auto const piece =
            static_cast<std::size_t>(std::min<long>(bytes - written, static_cast<long>(corpus.size())));
        std::fwrite(corpus.data(), 1, piece, stdout);
        written += static_cast<long>(piece);
    }
    std::printf("\n");
}

// Huge dictionaries over 10 MB messages; SCALE 0: an empty message.
void hugeDna(long scale) { dna(200000, 21, 10000000, 40, scale); }

void hugeWords(long scale) {
    std::mt19937_64 rng(41);
    std::vector<std::string> patterns;
    for (long k = 0; k < 550000; ++k) patterns.push_back(lettersText(rng, 8));
    printPatterns(patterns);
    printMessage(10000000 * scale, rng, letterBlock);
}

// Adversarial messages for filters that look for a pattern's rare bytes.
void longPatternOverA(long scale) {
    std::printf("1\n1\nB%sAAAA\n", std::string(59, 'C').c_str());
    printText(std::string(static_cast<std::size_t>(10000000 * scale), 'A'));
}

void copiesOverA(long scale) {
    std::printf("1\n4096\n");
    for (int k = 0; k < 4096; ++k) std::printf("BAAAA\n");
    printText(std::string(static_cast<std::size_t>(300000 * scale), 'A'));
}

// 256 12-mers taken from random DNA, one ending in each of the 256 words of
// four bases: every byte of the message ends a four-base suffix of some
// pattern, so a filter on the patterns' last bytes passes them all.
void everyByteACandidate(long scale) {
    std::mt19937_64 rng(44);
    std::string const message = overAlphabet(rng, 1000000, "ACGT");
    std::vector<std::string> patterns;
    for (unsigned suffix = 0; suffix < 256; ++suffix) {
        std::string ending;
        for (unsigned k = 0; k < 4; ++k) ending.push_back("ACGT"[(suffix >> (6 - 2 * k)) & 3]);
        std::size_t at = message.find(ending, 8 + rng() % (message.size() / 2));
        patterns.push_back(message.substr(at - 8, 12));
    }
    printPatterns(patterns);
    for (long k = 0; k < scale; ++k) std::fwrite(message.data(), 1, message.size(), stdout);
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 && argc != 4) {
        std::fprintf(stderr, "usage: bench_generate SHAPE SCALE [CORPUS]\n");
        return 2;
    }
    int const shape = std::atoi(argv[1]);
    long const scale = std::atol(argv[2]);
    switch (shape) {
        case 1:
            manyPoints(scale);
            break;
        case 2:
            largeSolid(scale);
            break;
        case 3:
            manySmallSets(scale);
            break;
        case 4:
            dictionary(scale);
            break;
        case 5:
            repetitive(scale);
            break;
        case 6:
            manySmallTasks(scale);
            break;
        case 7:
            manyPointsAt100MB(scale);
            break;
        case 8:
            pointsInAFarLargerSolid(scale);
            break;
        case 9:
            hugeSolid(5, scale);
            break;
        case 10:
            hugeSolid(6, scale);
            break;
        case 11:
            onePattern1MB(scale);
            break;
        case 12:
            onePattern5MB(scale);
            break;
        case 13:
            manyShortPatterns(scale);
            break;
        case 14:
            manyLongPatterns(scale);
            break;
        case 15:
            tasksOfTwo35(scale);
            break;
        case 16:
            tasksOfOne64(scale);
            break;
        case 17:
            patternAsMessage(scale);
            break;
        case 21:
            randomDictionary(10, 21, scale);
            break;
        case 22:
            randomDictionary(100, 22, scale);
            break;
        case 23:
            randomDictionary(1000, 23, scale);
            break;
        case 24:
            randomDictionary(10000, 24, scale);
            break;
        case 25:
            repetitiveMessage(scale);
            break;
        case 26:
            denseMatches(scale);
            break;
        case 27:
            smallRandomTasks(scale);
            break;
        case 31:
            letters(300, 4, 12, messageBytes, 31, scale);
            break;
        case 32:
            letters(3000, 4, 16, messageBytes, 32, scale);
            break;
        case 33:
            dna(1, 16, 60000000, 33, scale);
            break;
        case 34:
            dna(20, 12, 60000000, 34, scale);
            break;
        case 35:
            dna(1000, 12, 30000000, 35, scale);
            break;
        case 36:
            dna(10000, 24, 30000000, 36, scale);
            break;
        case 37:
        case 38:
        case 39:
            if (argc != 4) {
                std::fprintf(stderr, "bench_generate: shape %d needs a corpus\\n", shape);
                return 2;
            }
            text(argv[3],
                 shape == 37   ? 30
                 : shape == 38 ? 1000
                               : 50000,
                 (shape == 39 ? 30000000 : 60000000) * scale, static_cast<unsigned>(shape));
            break;
        case 40:
            hugeDna(scale);
            break;
        case 41:
            hugeWords(scale);
            break;
        case 42:
            longPatternOverA(scale);
            break;
        case 43:
            copiesOverA(scale);
            break;
        case 44:
            everyByteACandidate(scale);
            break;
        default:
            std::fprintf(stderr, "bench_generate: no shape %d\n", shape);
            return 2;
    }
    return 0;
}
