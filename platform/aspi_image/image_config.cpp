#include "platform/aspi_image/image_config.h"

#include <charconv>
#include <string_view>

namespace aspi {

namespace {

// Calls each(entry) for every non-empty comma-separated entry of text.
template <typename F>
void ForEachEntry(std::string_view text, F each) {
    while (!text.empty()) {
        const std::size_t comma = text.find(',');
        const std::string_view entry = text.substr(0, comma);
        if (!entry.empty()) each(entry);
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
    }
}

// The whole of text as a number within [low, high].
template <typename T>
std::optional<T> Number(std::string_view text, T low, T high) {
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < low || value > high)
        return std::nullopt;
    return value;
}

void ParseImage(std::string_view entry, ImageConfig& config) {
    const std::size_t equals = entry.find('=');
    if (equals == std::string_view::npos || equals + 1 == entry.size()) return;
    if (auto target = Number<int>(entry.substr(0, equals), 0, kTargets - 1))
        config.images[*target] = std::string(entry.substr(equals + 1));
}

void ParseFault(std::string_view entry, FaultPlan& faults) {
    const std::size_t equals = entry.find('=');
    if (equals == std::string_view::npos) return;
    const std::string_view name = entry.substr(0, equals), value = entry.substr(equals + 1);
    // A shift of more than a second of audio is no longer jitter; the limit keeps sums in range.
    constexpr int kMaxJitter = 75 * 588;
    if (name == "jitter") {
        if (auto n = Number<int>(value, 0, kMaxJitter)) faults.jitter = *n;
    } else if (name == "seed") {
        if (auto n = Number<std::uint32_t>(value, 0, UINT32_MAX)) faults.seed = *n;
    } else if (name == "delay") {
        if (auto n = Number<int>(value, 0, 10000)) faults.delayMs = *n;
    } else if (name == "fail" || name == "pending") {
        if (auto lba = Number<std::int32_t>(value, 0, INT32_MAX))
            (name == "fail" ? faults.failing : faults.pending).push_back(*lba);
    }
}

}  // namespace

ImageConfig ParseImageConfig(const std::string& images, const std::string& faults) {
    ImageConfig config;
    ForEachEntry(images, [&](std::string_view entry) { ParseImage(entry, config); });
    ForEachEntry(faults, [&](std::string_view entry) { ParseFault(entry, config.faults); });
    return config;
}

}  // namespace aspi
