// Looks a disc up on the MusicBrainz web service by its disc ID: the server is
// VELTO_MUSICBRAINZ_SERVER when set ("off" turns lookups off), otherwise https://musicbrainz.org;
// at most one request a second; a reply within 10 s or none.
#pragma once

#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "cdda/cd_reader.h"
#include "lookup/release_reply.h"

namespace lookup {

struct LookupResult {
    std::string discId;
    std::vector<Release> releases;  // none: nothing found, see problem
    std::string problem;            // why nothing was found, for whoever wants the detail
};

class DiscLookup {
  public:
    LookupResult LookUp(const cdda::TrackEntry (&table)[cdda::kMaxTracks]);

    // The server asked, without a trailing '/'; empty when lookups are off.
    static std::string Server();
    static std::string UserAgent();

  private:
    void WaitForTurn();

    std::mutex mutex_;
    std::chrono::steady_clock::time_point last_{};
    bool asked_ = false;
};

// The line the programs show when a lookup found nothing.
inline constexpr const char* kNoDiscInformation = "No disc information found";

}  // namespace lookup
