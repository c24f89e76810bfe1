#include "worklist/name_list.h"

#include <limits.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>

#include "platform/file.h"

namespace worklist {

namespace {

// The buffer getdelim grows as it needs, freed once at the end.
struct LineBuffer {
    char* data = nullptr;
    std::size_t capacity = 0;
    LineBuffer() = default;
    LineBuffer(const LineBuffer&) = delete;
    LineBuffer& operator=(const LineBuffer&) = delete;
    ~LineBuffer() { std::free(data); }
};

// Moves names[from] to names[to] (to <= from) when they differ.
void MoveDown(std::vector<std::string>& names, std::size_t from, std::size_t to) {
    if (from != to) names[to] = std::move(names[from]);
}

// A whole number of at most nine digits, without sign or spaces; -1 otherwise.
int WholeNumber(std::string_view s) {
    int n = -1;
    if (s.empty() || s.size() > 9) return -1;
    const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), n);
    return ec == std::errc() && end == s.data() + s.size() ? n : -1;
}

bool ModificationTime(const std::string& path, struct stat& st) {
    return ::stat(path.c_str(), &st) == 0;
}

bool Later(const struct timespec& a, const struct timespec& b) {
    return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec > b.tv_nsec;
}

}  // namespace

std::string ReadNames(std::FILE* in, Separator separator, const std::function<void(std::string&&)>& take) {
    const int delimiter = separator == Separator::kNul ? '\0' : '\n';
    LineBuffer line;
    long long lineNumber = 0;
    for (;;) {
        errno = 0;
        const ssize_t n = ::getdelim(&line.data, &line.capacity, delimiter, in);
        if (n < 0) break;
        ++lineNumber;
        std::string_view name(line.data, static_cast<std::size_t>(n));
        if (!name.empty() && name.back() == static_cast<char>(delimiter)) name.remove_suffix(1);
        // No file has such a name: the list is not what the separator says (a list of lines
        // read with --null comes as one name of the whole list).
        if (name.size() > PATH_MAX)
            return "name " + std::to_string(lineNumber) + " is longer than any file name (" +
                   std::to_string(name.size()) + " bytes)";
        if (separator == Separator::kLine) {
            if (!name.empty() && name.back() == '\r') name.remove_suffix(1);
            if (name.find('\0') != std::string_view::npos)
                return "line " + std::to_string(lineNumber) +
                       " holds a NUL byte; a list of NUL-separated names needs --null";
            if (!name.empty() && name.front() == '#') continue;
        }
        if (!name.empty()) take(std::string(name));
    }
    if (std::ferror(in)) return std::strerror(errno ? errno : EIO);
    return "";
}

std::optional<Shard> ParseShard(std::string_view text) {
    const std::size_t slash = text.find('/');
    if (slash == std::string_view::npos) return std::nullopt;
    const int k = WholeNumber(text.substr(0, slash));
    const int n = WholeNumber(text.substr(slash + 1));
    if (k < 1 || n < 1 || k > n) return std::nullopt;
    return Shard{k, n};
}

std::size_t SortUniqueAndSelect(std::vector<std::string>& names, Shard shard) {
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    const std::size_t distinct = names.size();
    std::size_t kept = 0;
    for (std::size_t i = static_cast<std::size_t>(shard.index - 1); i < distinct;
         i += static_cast<std::size_t>(shard.count))
        MoveDown(names, i, kept++);
    names.resize(kept);
    names.shrink_to_fit();
    return distinct;
}

bool OutputIsNewer(const std::string& input, const std::string& output) {
    struct stat in {
    }, out{};
    if (!ModificationTime(input, in) || !ModificationTime(output, out)) return false;
    return S_ISREG(out.st_mode) && Later(out.st_mtim, in.st_mtim);
}

void TakeOutAlreadyDone(
    std::vector<std::string>& names, const std::function<std::string(const std::string&)>& outputFor,
    const std::function<void(const std::string& input, const std::string& output)>& done) {
    std::size_t kept = 0;
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::string output = outputFor(names[i]);
        if (OutputIsNewer(names[i], output))
            done(names[i], output);
        else
            MoveDown(names, i, kept++);
    }
    names.resize(kept);
}

bool ForgetStoppedOutput(FileOutcome& outcome) {
    if (outcome.kind != FileOutcome::kStopped || !OutputIsNewer(outcome.input, outcome.output)) return false;
    if (!platform::RemoveFile(outcome.output)) return false;
    outcome.kind = FileOutcome::kSkipped;
    outcome.audioSeconds = 0;
    return true;
}

}  // namespace worklist
