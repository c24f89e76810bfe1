// Runs a command and prints, on one line to the file named first, its user and system CPU
// seconds, its wall-clock seconds (each to the microsecond) and its peak resident set in KiB.
// The benchmark script uses it instead of time(1), whose figures stop at the hundredth of a
// second: a clip encodes in a quarter of a second, so that would be a 4 % step.
//
// Usage: velto-cputime RESULT-FILE PROGRAM [ARGUMENTS...]
// The program's standard output and error are discarded. The exit status is the program's.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <chrono>
#include <cstdio>

namespace {

double Seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6;
}

[[noreturn]] void RunSilenced(char** argv) {
    const int null = open("/dev/null", O_WRONLY);
    if (null >= 0) {
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        close(null);
    }
    execvp(argv[0], argv);
    _exit(127);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: velto-cputime RESULT-FILE PROGRAM [ARGUMENTS...]\n");
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child < 0) {
        std::perror("velto-cputime: fork");
        return 2;
    }
    if (child == 0) RunSilenced(argv + 2);

    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child) {
        std::perror("velto-cputime: wait4");
        return 2;
    }
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
    std::FILE* result = std::fopen(argv[1], "w");
    if (result == nullptr) {
        std::perror(argv[1]);
        return 2;
    }
    std::fprintf(result, "%.6f %.6f %.6f %ld\n", Seconds(usage.ru_utime), Seconds(usage.ru_stime),
                 wall.count(), usage.ru_maxrss);
    std::fclose(result);
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}
