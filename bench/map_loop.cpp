// bench_map_loop MODE: reads the regular file on standard input to its end and
// adds up every eight-byte word, so that every byte is brought in as a parser
// would need it. MODE "read" copies it through read() into one 64 KiB block;
// "map" maps it in 32 MiB windows, each released before the next;
// "map-populate" does the same with MAP_POPULATE. Prints the sum. This decided
// whether gemprobe should read regular files through a mapped window
// (docs/design.md).

#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::uint64_t sumWords(unsigned char const* data, std::size_t size) {
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i + 8 <= size; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, data + i, sizeof word);
        sum += word;
    }
    return sum;
}

}  // namespace

int main(int argc, char** argv) {
    std::string const mode = argc == 2 ? argv[1] : "";
    std::uint64_t sum = 0;
    if (mode == "read") {
        static unsigned char block[1 << 16];
        for (;;) {
            ssize_t const got = read(0, block, sizeof block);
            if (got < 0 && errno == EINTR) continue;
            if (got <= 0) break;
            sum += sumWords(block, static_cast<std::size_t>(got));
        }
    } else if (mode == "map" || mode == "map-populate") {
        struct stat status {};
        if (fstat(0, &status) != 0 || !S_ISREG(status.st_mode)) {
            std::fprintf(stderr, "bench_map_loop: standard input is not a regular file\n");
            return 2;
        }
        std::size_t const window = std::size_t{32} << 20;
        int const flags = MAP_PRIVATE | (mode == "map-populate" ? MAP_POPULATE : 0);
        for (off_t offset = 0; offset < status.st_size; offset += static_cast<off_t>(window)) {
            std::size_t const length =
                std::min<std::size_t>(window, static_cast<std::size_t>(status.st_size - offset));
            void* const mapped = mmap(nullptr, length, PROT_READ, flags, 0, offset);
            if (mapped == MAP_FAILED) {
                std::perror("bench_map_loop: mmap");
                return 1;
            }
            sum += sumWords(static_cast<unsigned char const*>(mapped), length);
            munmap(mapped, length);
        }
    } else {
        std::fprintf(stderr, "usage: bench_map_loop read|map|map-populate < FILE\n");
        return 2;
    }
    std::printf("%llu\n", static_cast<unsigned long long>(sum));
    return 0;
}
