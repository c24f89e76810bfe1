#include "lookup/disc_id.h"

#include <discid/discid.h>

#include <memory>

namespace lookup {

namespace {

constexpr int kLeadIn = 150;        // the two seconds before sector 0
constexpr int kSessionGap = 11400;  // between an enhanced CD's audio and data sessions

struct DiscIdFree {
    void operator()(DiscId* d) const { discid_free(d); }
};

}  // namespace

std::string DiscIdOf(const cdda::TrackEntry (&table)[cdda::kMaxTracks]) {
    int count = 0;
    while (count < cdda::kMaxTracks && table[count].trackNumber != 0)
        ++count;
    if (count == 0) return "";
    int last = count - 1;
    long leadOut = static_cast<long>(table[last].lastSector) + 1;
    if (!table[last].IsAudio() && last > 0) {
        leadOut = static_cast<long>(table[last].firstSector) - kSessionGap;
        --last;
    }
    if (!table[last].IsAudio()) return "";
    int offsets[100] = {};
    offsets[0] = static_cast<int>(leadOut) + kLeadIn;
    const int first = table[0].trackNumber;
    for (int k = 0; k <= last; ++k)
        offsets[table[k].trackNumber] = static_cast<int>(table[k].firstSector) + kLeadIn;
    std::unique_ptr<DiscId, DiscIdFree> disc(discid_new());
    if (!disc || !discid_put(disc.get(), first, table[last].trackNumber, offsets)) return "";
    return discid_get_id(disc.get());
}

}  // namespace lookup
