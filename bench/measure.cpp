// bench_measure INPUT OUTPUT PROGRAM [ARGUMENT...]: runs PROGRAM (with the
// arguments, if any) with INPUT on standard input
// and OUTPUT as standard output, and prints "<wall seconds> <peak RSS in KiB>
// <CPU seconds>" of that one child (CPU: user and system time). Exits with the
// program's status.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: bench_measure INPUT OUTPUT PROGRAM [ARGUMENT...]\n");
        return 2;
    }
    // The files are opened before the clock starts: truncating the output
    // of a previous run (11 MB of verdicts frees thousands of cached pages)
    // took several milliseconds, which belong to the harness, not to the
    // program.
    int const in = open(argv[1], O_RDONLY);
    int const out = open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (in < 0 || out < 0) {
        std::perror("bench_measure: open");
        return 2;
    }
    auto const start = std::chrono::steady_clock::now();
    pid_t const child = fork();
    if (child == 0) {
        dup2(in, 0);
        dup2(out, 1);
        execv(argv[3], argv + 3);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    double const seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    double const cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    std::printf("%.4f %ld %.4f\n", seconds, usage.ru_maxrss, cpu);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1;
}
