#include "platform/profile.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <sstream>
#include <vector>

namespace platform {

namespace {

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string Trim(const std::string& s) {
    std::size_t b = 0, e = s.size();
    while (b < e && std::isspace(static_cast<unsigned char>(s[b])))
        ++b;
    while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1])))
        --e;
    return s.substr(b, e - b);
}

struct ProfileText {
    std::vector<std::string> lines;
    std::string error;  // empty when read, or when there is no profile yet
};

// Opens only a regular file: a FIFO or a device would block the open or the read, and is
// reported as unreadable instead.
ProfileText ReadProfile(const std::string& path) {
    ProfileText text;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        // No profile yet, also where a file stands in for one of its folders: the write says
        // why it cannot be made.
        if (errno != ENOENT && errno != ENOTDIR) text.error = std::strerror(errno);
        return text;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0) {
        text.error = std::strerror(errno);
    } else if (S_ISDIR(st.st_mode)) {
        text.error = "it is a folder";
    } else if (!S_ISREG(st.st_mode)) {
        text.error = "it is not a regular file";
    }
    std::string bytes;
    char buffer[8192];
    while (text.error.empty()) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            text.error = std::strerror(errno);
            break;
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    if (!text.error.empty()) return text;
    std::istringstream in(bytes);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        text.lines.push_back(std::move(line));
    }
    return text;
}

std::vector<std::string> ReadLines(const std::string& path) {
    return ReadProfile(path).lines;
}

// "[name]" gives name; anything else is not a section header.
std::optional<std::string> SectionName(const std::string& line) {
    std::string t = Trim(line);
    if (t.size() < 2 || t.front() != '[') return std::nullopt;
    std::size_t close = t.find(']');
    if (close == std::string::npos) return std::nullopt;
    return Trim(t.substr(1, close - 1));
}

// "key=value" gives key and value; a line without '=' has no key.
bool SplitEntry(const std::string& line, std::string& key, std::string& value) {
    std::size_t eq = line.find('=');
    if (eq == std::string::npos) return false;
    key = Trim(line.substr(0, eq));
    value = Trim(line.substr(eq + 1));
    return !key.empty();
}

struct Location {
    std::optional<std::size_t> sectionLine;  // header of the first matching section
    std::optional<std::size_t> entryLine;    // first matching key inside a matching section
    std::size_t sectionEnd = 0;              // one past the last line of the first matching section
};

Location Find(const std::vector<std::string>& lines, const std::string& section, const std::string& key) {
    Location loc;
    bool inSection = false;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (auto name = SectionName(lines[i])) {
            inSection = EqualNoCase(*name, section);
            if (inSection && !loc.sectionLine) loc.sectionLine = i;
            continue;
        }
        if (!inSection) continue;
        if (loc.sectionLine && !loc.entryLine) {
            std::string k, v;
            if (SplitEntry(lines[i], k, v) && EqualNoCase(k, key)) loc.entryLine = i;
        }
    }
    if (loc.sectionLine) {
        std::size_t end = *loc.sectionLine + 1;
        while (end < lines.size() && !SectionName(lines[end]))
            ++end;
        // Appended keys go after the section's last non-blank line.
        while (end > *loc.sectionLine + 1 && Trim(lines[end - 1]).empty())
            --end;
        loc.sectionEnd = end;
    }
    return loc;
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Makes the folder and every missing folder above it, private to the user as the
// configuration folders are meant to be.
bool MakeFolders(const std::string& folder) {
    struct stat st {};
    if (stat(folder.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return true;
        errno = ENOTDIR;
        return false;
    }
    const std::string parent = FolderOf(folder);
    if (parent != folder && !MakeFolders(parent)) return false;
    return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

// The file a write replaces: the profile, or the file its symbolic link names, so that a
// linked profile (kept with the user's other dotfiles) stays a link.
std::string WriteTarget(const std::string& path) {
    struct stat link {};
    if (lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return path;
    char* resolved = realpath(path.c_str(), nullptr);
    if (!resolved) return path;
    std::string target = resolved;
    std::free(resolved);
    return target;
}

// The temporary name prefix: ".<name>." followed by six characters that mkstemp picks.
std::string TemporaryPrefix(const std::string& target) {
    std::string prefix = ".";
    prefix += NameOf(target);
    prefix += '.';
    return prefix;
}

// Holds an exclusive advisory lock on the profile's lock file while it lives.
class ProfileLock {
  public:
    explicit ProfileLock(const std::string& target)
        : fd_(::open((FolderOf(target) + "/" + TemporaryPrefix(target) + "lock").c_str(),
                     O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
        if (fd_ < 0) return;
        while (flock(fd_, LOCK_EX) != 0) {
            if (errno == EINTR) continue;
            ::close(fd_);
            fd_ = -1;
            return;
        }
    }
    ~ProfileLock() {
        if (fd_ >= 0) ::close(fd_);
    }
    ProfileLock(const ProfileLock&) = delete;
    ProfileLock& operator=(const ProfileLock&) = delete;
    bool Held() const { return fd_ >= 0; }

  private:
    int fd_;
};

// Under the lock no other write of this profile is under way, so a temporary file of the
// profile's name is one a killed write left behind.
void RemoveLeftTemporaries(const std::string& target) {
    const std::string folder = FolderOf(target);
    const std::string prefix = TemporaryPrefix(target);
    DIR* dir = opendir(folder.c_str());
    if (!dir) return;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() == prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0)
            ::unlink((folder + "/" + name).c_str());
    }
    closedir(dir);
}

bool WriteAll(int fd, const std::string& contents) {
    const char* p = contents.data();
    std::size_t left = contents.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

// Writes contents to a temporary file beside target with the given mode and renames it over
// target. Empty when done, otherwise the reason.
std::string ReplaceFile(const std::string& target, const std::string& contents, mode_t mode) {
    std::string tmpl = FolderOf(target) + "/" + TemporaryPrefix(target) + "XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    const int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) return std::strerror(errno);
    std::string error;
    if (fchmod(fd, mode) != 0 || !WriteAll(fd, contents) || fsync(fd) != 0) error = std::strerror(errno);
    if (::close(fd) != 0 && error.empty()) error = std::strerror(errno);
    if (error.empty() && std::rename(name.data(), target.c_str()) != 0) error = std::strerror(errno);
    if (!error.empty()) ::unlink(name.data());
    return error;
}

// Why an existing profile must not be replaced, or empty.
std::string UnwritableReason(const struct stat& st) {
    if (S_ISDIR(st.st_mode)) return "it is a folder";
    if (!S_ISREG(st.st_mode)) return "it is not a regular file";
    // The owner's write bit, not access(): root may write anything, but a profile made
    // read-only is the user's wish to keep it as it is.
    if ((st.st_mode & S_IWUSR) == 0) return "it is read-only";
    return "";
}

void Apply(std::vector<std::string>& lines, const ProfileEntry& e) {
    Location loc = Find(lines, e.section, e.key);
    std::string entry = e.key + "=" + e.value;
    if (loc.entryLine) {
        lines[*loc.entryLine] = entry;
    } else if (loc.sectionLine) {
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(loc.sectionEnd), entry);
    } else {
        if (!lines.empty() && !Trim(lines.back()).empty()) lines.emplace_back();
        lines.push_back("[" + e.section + "]");
        lines.push_back(entry);
    }
}

}  // namespace

Profile::Profile(std::string path) : path_(std::move(path)) {}

std::string HomeFolder() {
    if (const char* home = std::getenv("HOME"); home && *home) return home;
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir && *pw->pw_dir) return pw->pw_dir;
    return "/";
}

std::string Profile::DefaultPath() {
    if (const char* p = std::getenv("VELTO_PROFILE"); p && *p) return p;
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x) return std::string(x) + "/Velto.INI";
    std::string home = HomeFolder();
    if (home.back() == '/') home.pop_back();
    return home + "/.config/Velto.INI";
}

std::string Profile::ReadProblem() const {
    return ReadProfile(path_).error;
}

int ParseProfileInt(const std::string& value) {
    std::size_t i = 0;
    while (i < value.size() && (value[i] == ' ' || value[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < value.size() && (value[i] == '+' || value[i] == '-')) negative = value[i++] == '-';
    long long n = 0;
    for (; i < value.size() && std::isdigit(static_cast<unsigned char>(value[i])); ++i) {
        n = n * 10 + (value[i] - '0');
        if (n > static_cast<long long>(INT_MAX) + 1) n = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) n = -n;
    if (n > INT_MAX) n = INT_MAX;
    return static_cast<int>(n);
}

std::string Profile::ReadString(const std::string& section, const std::string& key,
                                const std::string& defaultValue) const {
    auto lines = ReadLines(path_);
    Location loc = Find(lines, section, key);
    if (!loc.entryLine) return defaultValue;
    std::string k, v;
    SplitEntry(lines[*loc.entryLine], k, v);
    return v;
}

int Profile::ReadInt(const std::string& section, const std::string& key, int defaultValue) const {
    auto lines = ReadLines(path_);
    Location loc = Find(lines, section, key);
    if (!loc.entryLine) return defaultValue;
    std::string k, v;
    SplitEntry(lines[*loc.entryLine], k, v);
    return ParseProfileInt(v);
}

bool Profile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
    return Write({{section, key, value}});
}

bool Profile::Write(const std::vector<ProfileEntry>& entries) {
    lastError_.clear();
    const std::string target = WriteTarget(path_);
    if (!MakeFolders(FolderOf(target))) {
        lastError_ = std::strerror(errno);
        return false;
    }
    struct stat st {};
    const bool exists = stat(target.c_str(), &st) == 0;
    if (exists) lastError_ = UnwritableReason(st);
    if (!lastError_.empty()) return false;
    const ProfileLock lock(target);
    if (!lock.Held()) {
        lastError_ = std::strerror(errno);
        return false;
    }
    // Read under the lock: what another program wrote a moment ago is kept.
    ProfileText text = ReadProfile(target);
    if (!text.error.empty()) {
        lastError_ = text.error;
        return false;
    }
    for (const ProfileEntry& e : entries)
        Apply(text.lines, e);
    std::string contents;
    for (const auto& l : text.lines)
        contents += l + "\n";
    lastError_ = ReplaceFile(target, contents, exists ? st.st_mode & 07777 : 0644);
    if (!lastError_.empty()) return false;
    RemoveLeftTemporaries(target);
    return true;
}

bool Profile::WriteInt(const std::string& section, const std::string& key, int value) {
    return WriteString(section, key, std::to_string(value));
}

}  // namespace platform
