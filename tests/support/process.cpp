#include "tests/support/process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>

extern char** environ;

namespace testproc {

std::string BinPath(const std::string& program) {
#ifdef VELTO_BIN_DIR
    if (program.find('/') == std::string::npos) return std::string(VELTO_BIN_DIR) + "/" + program;
#endif
    return program;
}

namespace {

std::string TempOutputPath() {
    char name[] = "/tmp/velto-proc-XXXXXX";
    int fd = mkstemp(name);
    if (fd >= 0) close(fd);
    return name;
}

// The test's environment without a display server: a program under test never opens a window
// on the developer's desktop (the window tests name Qt's offscreen platform instead).
std::vector<char*> EnvironmentWithoutDisplay() {
    std::vector<char*> env;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (entry.rfind("DISPLAY=", 0) == 0 || entry.rfind("WAYLAND_DISPLAY=", 0) == 0) continue;
        env.push_back(*e);
    }
    env.push_back(nullptr);
    return env;
}

pid_t Spawn(const std::string& program, const std::vector<std::string>& args, const std::string& outputPath,
            const std::string& errorPath = "") {
    std::vector<std::string> all{BinPath(program)};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputPath.c_str(), O_WRONLY | O_TRUNC, 0);
    if (errorPath.empty())
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorPath.c_str(), O_WRONLY | O_TRUNC, 0);
    // The child must receive SIGINT even if the test runner blocks or ignores it.
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t none, def;
    sigemptyset(&none);
    sigemptyset(&def);
    sigaddset(&def, SIGINT);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setsigdefault(&attr, &def);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    std::vector<char*> env = EnvironmentWithoutDisplay();
    if (posix_spawn(&pid, argv[0], &actions, &attr, argv.data(), env.data()) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    return pid;
}

Result Collect(pid_t pid, const std::string& outputPath) {
    Result r;
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid)
        r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (WIFSIGNALED(status)) r.signal = WTERMSIG(status);
    std::ifstream in(outputPath);
    r.output.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    std::remove(outputPath.c_str());
    return r;
}

}  // namespace

Result Run(const std::string& program, const std::vector<std::string>& args) {
    const std::string out = TempOutputPath();
    return Collect(Spawn(program, args, out), out);
}

Result RunApart(const std::string& program, const std::vector<std::string>& args) {
    const std::string out = TempOutputPath(), err = TempOutputPath();
    Result r = Collect(Spawn(program, args, out, err), out);
    std::ifstream in(err);
    r.errors.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    std::remove(err.c_str());
    return r;
}

Background::Background(const std::string& program, const std::vector<std::string>& args)
    : outputPath_(TempOutputPath()) {
    pid_ = Spawn(program, args, outputPath_);
}

Background::~Background() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        Collect(pid_, outputPath_);
    }
}

void Background::Signal(int sig) {
    if (pid_ > 0) kill(pid_, sig);
}

Result Background::Wait() {
    Result r = Collect(pid_, outputPath_);
    pid_ = -1;
    return r;
}

}  // namespace testproc
