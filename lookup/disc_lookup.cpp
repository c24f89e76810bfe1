#include "lookup/disc_lookup.h"

#include <cstdlib>

#include "lookup/disc_id.h"
#include "lookup/http_get.h"

namespace lookup {

namespace {

constexpr long kTimeoutSeconds = 10;
// A reply for one disc is a few tens of kilobytes; a body far beyond that is not one.
constexpr std::size_t kMaxReplyBytes = 4 << 20;
constexpr auto kInterval = std::chrono::seconds(1);

}  // namespace

std::string DiscLookup::Server() {
    const char* server = std::getenv("VELTO_MUSICBRAINZ_SERVER");
    std::string s = server && *server ? server : "https://musicbrainz.org";
    if (s == "off") return "";
    while (!s.empty() && s.back() == '/')
        s.pop_back();
    return s;
}

std::string DiscLookup::UserAgent() {
    return "Velto/" VELTO_VERSION " ( " VELTO_CONTACT " )";
}

bool DiscLookup::WaitForTurn(std::unique_lock<std::mutex>& lock, std::stop_token stop) {
    // The service asks for one request a second at most from each client.
    if (asked_) turn_.wait_until(lock, stop, last_ + kInterval, [] { return false; });
    if (stop.stop_requested()) return false;
    last_ = std::chrono::steady_clock::now();
    asked_ = true;
    return true;
}

LookupResult DiscLookup::LookUp(const cdda::TrackEntry (&table)[cdda::kMaxTracks], std::stop_token stop) {
    LookupResult result;
    result.discId = DiscIdOf(table);
    const std::string server = Server();
    if (result.discId.empty()) {
        result.problem = "the disc has no audio tracks";
        return result;
    }
    if (server.empty()) {
        result.problem = "lookups are off";
        return result;
    }
    HttpReply reply;
    {
        std::unique_lock lock(mutex_);
        if (!WaitForTurn(lock, stop)) {
            result.problem = kAbandoned;
            return result;
        }
        reply = HttpGet(server + "/ws/2/discid/" + result.discId + "?inc=artist-credits+recordings&fmt=json",
                        UserAgent(), kTimeoutSeconds, kMaxReplyBytes, stop);
    }
    if (!reply.error.empty()) {
        result.problem = reply.error;
        return result;
    }
    if (reply.status == 404) {
        result.problem = "the disc is not known";
        return result;
    }
    if (reply.status != 200) {
        result.problem = "the server answered with status " + std::to_string(reply.status);
        return result;
    }
    result.releases = ParseReleaseReply(reply.body, result.discId, result.problem);
    if (result.releases.empty() && result.problem.empty()) result.problem = "no release holds the disc";
    return result;
}

}  // namespace lookup
