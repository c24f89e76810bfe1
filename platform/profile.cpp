#include "platform/profile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <vector>

namespace platform {

namespace {

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
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

std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return lines;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
    }
    return lines;
}

// "[name]" gives name; anything else is not a section header.
std::optional<std::string> SectionName(const std::string& line) {
    std::string t = Trim(line);
    if (t.size() < 2 || t.front() != '[')
        return std::nullopt;
    std::size_t close = t.find(']');
    if (close == std::string::npos)
        return std::nullopt;
    return Trim(t.substr(1, close - 1));
}

// "key=value" gives key and value; a line without '=' has no key.
bool SplitEntry(const std::string& line, std::string& key, std::string& value) {
    std::size_t eq = line.find('=');
    if (eq == std::string::npos)
        return false;
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
            if (inSection && !loc.sectionLine)
                loc.sectionLine = i;
            continue;
        }
        if (!inSection)
            continue;
        if (loc.sectionLine && !loc.entryLine) {
            std::string k, v;
            if (SplitEntry(lines[i], k, v) && EqualNoCase(k, key))
                loc.entryLine = i;
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

bool WriteWholeFile(const std::string& path, const std::string& contents) {
    std::string folder = ".";
    if (auto slash = path.rfind('/'); slash != std::string::npos)
        folder = slash == 0 ? "/" : path.substr(0, slash);
    // The default profile folder (~/.config) may not exist yet on a fresh account.
    mkdir(folder.c_str(), 0755);
    std::string tmpl = folder + "/.Velto.INI.XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    int fd = mkstemp(name.data());
    if (fd < 0)
        return false;
    fchmod(fd, 0644);
    const char* p = contents.data();
    std::size_t left = contents.size();
    bool ok = true;
    while (left > 0) {
        ssize_t n = write(fd, p, left);
        if (n < 0) {
            ok = false;
            break;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    if (ok && fsync(fd) != 0)
        ok = false;
    if (close(fd) != 0)
        ok = false;
    if (ok && std::rename(name.data(), path.c_str()) != 0)
        ok = false;
    if (!ok)
        unlink(name.data());
    return ok;
}

}  // namespace

Profile::Profile(std::string path) : path_(std::move(path)) {}

std::string Profile::DefaultPath() {
    if (const char* p = std::getenv("VELTO_PROFILE"); p && *p)
        return p;
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x)
        return std::string(x) + "/Velto.INI";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.config/Velto.INI";
}

int ParseProfileInt(const std::string& value) {
    std::size_t i = 0;
    while (i < value.size() && (value[i] == ' ' || value[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < value.size() && (value[i] == '+' || value[i] == '-'))
        negative = value[i++] == '-';
    long long n = 0;
    for (; i < value.size() && std::isdigit(static_cast<unsigned char>(value[i])); ++i) {
        n = n * 10 + (value[i] - '0');
        if (n > static_cast<long long>(INT_MAX) + 1)
            n = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative)
        n = -n;
    if (n > INT_MAX)
        n = INT_MAX;
    return static_cast<int>(n);
}

std::string Profile::ReadString(const std::string& section, const std::string& key,
                                const std::string& defaultValue) const {
    auto lines = ReadLines(path_);
    Location loc = Find(lines, section, key);
    if (!loc.entryLine)
        return defaultValue;
    std::string k, v;
    SplitEntry(lines[*loc.entryLine], k, v);
    return v;
}

int Profile::ReadInt(const std::string& section, const std::string& key, int defaultValue) const {
    auto lines = ReadLines(path_);
    Location loc = Find(lines, section, key);
    if (!loc.entryLine)
        return defaultValue;
    std::string k, v;
    SplitEntry(lines[*loc.entryLine], k, v);
    return ParseProfileInt(v);
}

bool Profile::WriteString(const std::string& section, const std::string& key, const std::string& value) {
    auto lines = ReadLines(path_);
    Location loc = Find(lines, section, key);
    std::string entry = key + "=" + value;
    if (loc.entryLine) {
        lines[*loc.entryLine] = entry;
    } else if (loc.sectionLine) {
        lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(loc.sectionEnd), entry);
    } else {
        if (!lines.empty() && !Trim(lines.back()).empty())
            lines.emplace_back();
        lines.push_back("[" + section + "]");
        lines.push_back(entry);
    }
    std::ostringstream out;
    for (const auto& l : lines)
        out << l << "\r\n";
    return WriteWholeFile(path_, out.str());
}

bool Profile::WriteInt(const std::string& section, const std::string& key, int value) {
    return WriteString(section, key, std::to_string(value));
}

}  // namespace platform
