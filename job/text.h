// Small text helpers for the messages and status lines the system shows.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// printf into a string of whatever length the text needs.
template <typename... Args>
std::string Printf(const char* format, Args... args) {
    const int n = std::snprintf(nullptr, 0, format, args...);
    if (n <= 0) return std::string();
    std::vector<char> text(static_cast<std::size_t>(n) + 1);
    std::snprintf(text.data(), text.size(), format, args...);
    return std::string(text.data(), static_cast<std::size_t>(n));
}

// The part of a path after its last '/': the name the status line shows.
inline std::string NameAfterLastSlash(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Redraws the status line in place on a terminal, kept within its width so that '\r' works.
inline void RedrawTerminalLine(std::FILE* out, std::string line, int columns) {
    if (columns > 1 && static_cast<int>(line.size()) >= columns)
        line.resize(static_cast<std::size_t>(columns - 1));
    std::fprintf(out, "\r%s\033[K", line.c_str());
}
