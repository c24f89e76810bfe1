// Runs the project's programs from tests: to the end, or in the background to be interrupted.
#pragma once

#include <sys/types.h>
#include <string>
#include <vector>

namespace testproc {

struct Result {
    int exitCode = -1;   // the exit status, or 128 + signal when a signal ended it
    int signal = 0;      // the signal that ended it, 0 when it exited
    std::string output;  // standard output and standard error together (RunApart: only the output)
    std::string errors;  // RunApart: standard error
};

// Runs program (a name in the build's bin folder, or a path) with args and waits for it.
Result Run(const std::string& program, const std::vector<std::string>& args);
// The same with standard output and standard error apart.
Result RunApart(const std::string& program, const std::vector<std::string>& args);

class Background {
  public:
    Background(const std::string& program, const std::vector<std::string>& args);
    ~Background();
    void Signal(int sig);
    Result Wait();

  private:
    pid_t pid_ = -1;
    std::string outputPath_;
};

std::string BinPath(const std::string& program);

}  // namespace testproc
