#include "cdda/dae_page.h"

#include <algorithm>
#include <cctype>

#include "job/text.h"
#include "platform/message_box.h"

namespace cdda {

namespace {

constexpr int kReadLow = profile::kNSectorsLow, kReadHigh = profile::kNSectorsHigh;
constexpr int kSynchLow = profile::kSynchSectorsLow, kSynchHigh = profile::kSynchSectorsHigh;

// The field's number as a spin control reads it: 0 when it is no number.
int SpinPosition(const std::string& text) {
    int n = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return 0;
        n = std::min(n * 10 + (c - '0'), 1000000);
    }
    return n;
}

}  // namespace

CDaePage::CDaePage(const profile::DaeValues& values)
    : values_(values),
      mode_(values.mode),
      readText_(std::to_string(values.nsectors)),
      synchText_(std::to_string(values.synchsectors)) {}

void CDaePage::Initialise() {
    synchMax_ = std::max(1, values_.nsectors / 2);
}

void CDaePage::OnReadSectorsSpin(int delta) {
    const int p = SpinPosition(readText_);
    // The overlap's range follows only while the spin moves strictly inside its own range.
    if (p > kReadLow && p < kReadHigh) {
        const int a = (p + delta) / 2;
        synchMax_ = std::max(1, a);
        if (SpinPosition(synchText_) > synchMax_) synchText_ = std::to_string(synchMax_);
    }
    readText_ = std::to_string(std::clamp(p + delta, kReadLow, kReadHigh));
}

void CDaePage::OnSynchSectorsSpin(int delta) {
    synchText_ = std::to_string(std::clamp(SpinPosition(synchText_) + delta, kSynchLow, synchMax_));
}

bool CDaePage::TakeField(const std::string& text, int low, int high, Field field, int& into) {
    std::string t = text;
    t.erase(0, t.find_first_not_of(" \t"));
    t.erase(t.find_last_not_of(" \t") + 1);
    const bool sign = !t.empty() && (t[0] == '-' || t[0] == '+');
    const std::string digits = sign ? t.substr(1) : t;
    const bool integer =
        !digits.empty() && digits.size() <= 9 &&
        std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c); });
    if (!integer) {
        platform::MessageBox("Please enter an integer.", platform::kAppCaption,
                             platform::MB_OK | platform::MB_ICONEXCLAMATION);
        error_ = field;
        return false;
    }
    const int n = std::stoi(t);
    if (n < low || n > high) {
        platform::MessageBox(Printf("Please enter an integer between %d and %d.", low, high),
                             platform::kAppCaption, platform::MB_OK | platform::MB_ICONEXCLAMATION);
        error_ = field;
        return false;
    }
    into = n;
    return true;
}

bool CDaePage::TakeOver() {
    error_ = kNone;
    profile::DaeValues v = values_;
    v.mode = mode_;
    if (!TakeField(readText_, kReadLow, kReadHigh, kReadSectors, v.nsectors)) return false;
    if (!TakeField(synchText_, kSynchLow, kSynchHigh, kSynchSectors, v.synchsectors)) return false;
    values_ = v;
    return true;
}

}  // namespace cdda
