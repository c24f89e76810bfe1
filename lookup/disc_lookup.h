// Looks a disc up on the MusicBrainz web service by its disc ID: the server is
// VELTO_MUSICBRAINZ_SERVER when set ("off" turns lookups off), otherwise https://musicbrainz.org;
// at most one request a second; a reply within 10 s or none.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stop_token>
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
    // A stop requested on `stop` ends the lookup at once, whether it waits for its turn or for
    // the server; its result then has no releases.
    LookupResult LookUp(const cdda::TrackEntry (&table)[cdda::kMaxTracks], std::stop_token stop = {});

    // The server asked, without a trailing '/'; empty when lookups are off.
    static std::string Server();
    static std::string UserAgent();

  private:
    // False when stopped before the turn came.
    bool WaitForTurn(std::unique_lock<std::mutex>& lock, std::stop_token stop);

    std::mutex mutex_;
    std::condition_variable_any turn_;  // never notified: the wait ends by its time or a stop
    std::chrono::steady_clock::time_point last_{};
    bool asked_ = false;
};

// The line the programs show when a lookup found nothing.
inline constexpr const char* kNoDiscInformation = "No disc information found";

}  // namespace lookup
