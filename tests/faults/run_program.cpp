#include "run_program.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

int memoryFile(char const* name) {
    int const fd = memfd_create(name, 0);
    if (fd < 0) std::abort();
    return fd;
}

std::string contentsOf(int fd) {
    std::string text;
    char block[65536];
    ssize_t got = 0;
    lseek(fd, 0, SEEK_SET);
    while ((got = read(fd, block, sizeof block)) > 0) text.append(block, static_cast<std::size_t>(got));
    return text;
}

}  // namespace

ProgramRun runProgram(std::string const& path, std::string const& input, RunLimits const& limits) {
    int const in = memoryFile("input");
    if (write(in, input.data(), input.size()) != static_cast<ssize_t>(input.size())) std::abort();
    lseek(in, 0, SEEK_SET);
    int const out =
        limits.outputPath.empty() ? memoryFile("output") : open(limits.outputPath.c_str(), O_WRONLY);
    int const err = memoryFile("error");
    if (out < 0) std::abort();

    pid_t const child = fork();
    if (child == 0) {
        dup2(in, 0);
        dup2(out, 1);
        dup2(err, 2);
        if (limits.addressSpaceBytes != 0) {
            rlimit const limit{limits.addressSpaceBytes, limits.addressSpaceBytes};
            setrlimit(RLIMIT_AS, &limit);
        }
        // Sanitizer reports must not pass for the program's own exit status 1.
        setenv("ASAN_OPTIONS", "exitcode=86:detect_leaks=1", 1);
        setenv("UBSAN_OPTIONS", "exitcode=87:halt_on_error=1", 1);
        std::vector<char*> argv{const_cast<char*>(path.c_str())};
        for (std::string const& argument : limits.arguments)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        execv(path.c_str(), argv.data());
        _exit(127);
    }
    ProgramRun run;
    auto const deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(limits.wallMilliseconds);
    int status = 0;
    for (;;) {
        pid_t const done = waitpid(child, &status, WNOHANG);
        if (done == child) break;
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            run.timedOut = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    if (WIFEXITED(status)) run.exitStatus = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) run.signal = WTERMSIG(status);
    run.inputOffset = static_cast<long>(lseek(in, 0, SEEK_CUR));  // the child shared the offset
    if (limits.outputPath.empty()) run.output = contentsOf(out);
    run.error = contentsOf(err);
    close(in);
    close(out);
    close(err);
    return run;
}
