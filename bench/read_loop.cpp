// bench_read_loop: reads standard input to its end with read() into one 64 KiB
// block and touches nothing: the floor that a stream filter reading the same
// file through the page cache cannot beat. Prints the byte count.

#include <unistd.h>
#include <cerrno>
#include <cstdio>

int main() {
    static char block[1 << 16];
    unsigned long long total = 0;
    for (;;) {
        ssize_t const got = read(0, block, sizeof block);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        total += static_cast<unsigned long long>(got);
    }
    std::printf("%llu\n", total);
    return 0;
}
