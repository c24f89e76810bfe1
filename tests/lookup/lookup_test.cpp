// The disc lookup against a small HTTP server on 127.0.0.1 that answers as the MusicBrainz
// web service does, or fails to.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <netdb.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <string_view>
#include <thread>

#include "lookup/disc_id.h"
#include "lookup/disc_lookup.h"
#include "lookup/lookup_thread.h"
#include "tests/support/cd_image.h"
#include "tests/support/local_server.h"

namespace {

// One name whose resolution stalls, as with a name server that does not answer, until the test
// lets it go; every other name is resolved as usual.
constexpr const char* kStallingName = "stalls.invalid";
struct Stall {
    std::atomic<bool> resolving{false}, released{false};
};
Stall& TheStall() {
    static Stall stall;
    return stall;
}

}  // namespace

extern "C" int getaddrinfo(const char* node, const char* service, const addrinfo* hints, addrinfo** result) {
    if (node && std::string_view(node) == kStallingName) {
        TheStall().resolving = true;
        for (int waited = 0; waited < 10000 && !TheStall().released; waited += 10)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return EAI_AGAIN;
    }
    using Resolve = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
    static const auto real = reinterpret_cast<Resolve>(dlsym(RTLD_NEXT, "getaddrinfo"));
    return real(node, service, hints, result);
}

namespace {

// A disc of three audio tracks.
void Table(cdda::TrackEntry (&table)[cdda::kMaxTracks]) {
    table[0] = {1, 0, 0, 14999};
    table[1] = {2, 0, 15000, 29999};
    table[2] = {3, 0, 30000, 44999};
}

std::string ReleaseJson(const std::string& id, const std::string& title, const std::string& discId,
                        bool secondMedium) {
    const std::string medium = R"({"position": 1, "format": "CD", "discs": [{"id": ")" + discId + R"("}],
        "tracks": [{"position": 1, "number": "1", "title": "Uno", "artist-credit": [{"name": "A", "joinphrase": " & "}, {"name": "B"}]},
                   {"position": 2, "title": null, "recording": {"title": "Dos"}},
                   {"position": "3", "title": "bad position"}]})";
    const std::string other =
        R"({"position": 1, "discs": [], "tracks": [{"position": 1, "title": "Wrong medium"}]})";
    return R"({"id": ")" + id + R"(", "title": ")" + title + R"(", "date": "1999-05-01", "country": "GB",
        "artist-credit": [{"name": "The Band", "joinphrase": ""}],
        "media": [)" +
           (secondMedium ? other + "," : "") + medium + "]}";
}

class Lookup : public ::testing::Test {
  protected:
    lookup::LookupResult Run(const std::string& server) {
        testcd::ScopedEnv env("VELTO_MUSICBRAINZ_SERVER", server);
        cdda::TrackEntry table[cdda::kMaxTracks] = {};
        Table(table);
        return lookup_.LookUp(table);
    }
    std::string Id() {
        cdda::TrackEntry table[cdda::kMaxTracks] = {};
        Table(table);
        return lookup::DiscIdOf(table);
    }
    lookup::DiscLookup lookup_;
};

}  // namespace

TEST(DiscId, AnEnhancedCdsDataTrackIsLeftOutOfTheId) {
    cdda::TrackEntry audio[cdda::kMaxTracks] = {}, enhanced[cdda::kMaxTracks] = {};
    Table(audio);
    Table(enhanced);
    enhanced[3] = {4, 0x04, 45000 + 11400, 60000};
    const std::string id = lookup::DiscIdOf(audio);
    EXPECT_EQ(id.size(), 28u);
    EXPECT_EQ(lookup::DiscIdOf(enhanced), id);
    cdda::TrackEntry none[cdda::kMaxTracks] = {};
    EXPECT_EQ(lookup::DiscIdOf(none), "");
}

TEST_F(Lookup, OneReleaseGivesTheNamesOfTheMediumThatHoldsTheDisc) {
    testnet::LocalServer server(200, R"({"id": ")" + Id() + R"(", "releases": [)" +
                                         ReleaseJson("r1", "The Album", Id(), true) + "]}");
    const lookup::LookupResult r = Run(server.Url() + "/");
    ASSERT_EQ(r.releases.size(), 1u) << r.problem;
    const cdda::DiscNames& n = r.releases[0].names;
    EXPECT_EQ(n.album.album, "The Album");
    EXPECT_EQ(n.album.artist, "The Band");
    EXPECT_EQ(n.album.musicBrainzAlbumId, "r1");
    EXPECT_EQ(n.album.musicBrainzDiscId, Id());
    EXPECT_EQ(r.releases[0].country, "GB");
    EXPECT_EQ(cdda::TrackNames(n, 1).title, "Uno");
    EXPECT_EQ(cdda::TrackNames(n, 1).artist, "A & B");
    EXPECT_EQ(cdda::TrackNames(n, 2).title, "Dos") << "the recording's title when the track has none";
    EXPECT_EQ(n.tracks.count(3), 0u) << "a position of the wrong type is passed over";

    const std::vector<std::string> asked = server.Requests();
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].rfind(
                  "GET /ws/2/discid/" + Id() + "?inc=artist-credits+recordings&fmt=json HTTP/1.1\r\n", 0),
              0u)
        << asked[0];
    EXPECT_NE(asked[0].find("User-Agent: Velto/"), std::string::npos);
    EXPECT_NE(asked[0].find("( http"), std::string::npos) << "a contact in the User-Agent";
}

TEST_F(Lookup, SeveralReleasesComeInTheServersOrderAndRequestsKeepASecondApart) {
    testnet::LocalServer server(200, R"({"releases": [)" + ReleaseJson("r1", "First", Id(), false) + "," +
                                         ReleaseJson("r2", "Second", Id(), false) + "]}");
    const auto start = std::chrono::steady_clock::now();
    const lookup::LookupResult first = Run(server.Url());
    const lookup::LookupResult second = Run(server.Url());
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(990));
    ASSERT_EQ(second.releases.size(), 2u);
    EXPECT_EQ(second.releases[0].title, "First");
    EXPECT_EQ(second.releases[1].title, "Second");
}

TEST_F(Lookup, NothingFoundMalformedOversizedAndRefusedRepliesGiveNoReleasesAndAReason) {
    {
        testnet::LocalServer server(404, R"({"error": "Not Found", "help": "For usage, please see: ..."})");
        const lookup::LookupResult r = Run(server.Url());
        EXPECT_TRUE(r.releases.empty());
        EXPECT_EQ(r.problem, "the disc is not known");
    }
    for (const std::string& body : {std::string("<html>not json"), std::string("[1, 2]"),
                                    std::string(R"({"releases": [17, "x", {"media": 5, "title": 3}]})")}) {
        testnet::LocalServer server(200, body);
        const lookup::LookupResult r = Run(server.Url());
        for (const lookup::Release& release : r.releases)
            EXPECT_TRUE(release.title.empty()) << body;
    }
    {
        testnet::LocalServer server(200, std::string(5 << 20, ' '));
        const lookup::LookupResult r = Run(server.Url());
        EXPECT_TRUE(r.releases.empty());
        EXPECT_NE(r.problem.find("longer than"), std::string::npos) << r.problem;
    }
    {
        // A port that nobody listens on: the connection is refused at once.
        std::string refused;
        {
            testnet::LocalServer gone(200, "{}");
            refused = gone.Url();
        }
        const lookup::LookupResult r = Run(refused);
        EXPECT_TRUE(r.releases.empty());
        EXPECT_FALSE(r.problem.empty());
    }
    EXPECT_EQ(Run("off").problem, "lookups are off");
}

TEST_F(Lookup, AServerThatNeverAnswersIsGivenUpWithinElevenSeconds) {
    testnet::LocalServer server(200, "{}", 20000);
    const auto start = std::chrono::steady_clock::now();
    const lookup::LookupResult r = Run(server.Url());
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(r.releases.empty());
    EXPECT_GE(took, std::chrono::seconds(9));
    EXPECT_LE(took, std::chrono::seconds(11));
}

// The owner of a lookup thread going away mid-lookup: a request waiting for a slow server, one
// waiting for its turn a second after another, and one whose server's name is still being
// resolved all end at once and deliver nothing.
TEST_F(Lookup, AnAbandonedLookupEndsAtOnceAndDeliversNothing) {
    cdda::TrackEntry table[cdda::kMaxTracks] = {};
    Table(table);
    auto within = [](const std::function<bool()>& done) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!done() && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return done();
    };
    for (const int delayMs : {20000, 0}) {
        SCOPED_TRACE(delayMs);
        testnet::LocalServer server(404, "{}", delayMs);
        testcd::ScopedEnv env("VELTO_MUSICBRAINZ_SERVER", server.Url());
        std::atomic<int> delivered = 0;
        auto thread = std::make_optional<lookup::LookupThread>();
        thread->Start(table, [&](const lookup::LookupResult&) { ++delivered; });
        if (delayMs > 0) {
            ASSERT_TRUE(within([&] { return server.Requests().size() == 1; }));
        } else {
            ASSERT_TRUE(within([&] { return delivered == 1; }));
            thread->Start(table, [&](const lookup::LookupResult&) { ++delivered; });
        }
        const auto start = std::chrono::steady_clock::now();
        thread.reset();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
        EXPECT_EQ(delivered, delayMs > 0 ? 0 : 1);
        EXPECT_EQ(server.Requests().size(), 1u);
        if (delayMs > 0) {
            EXPECT_TRUE(within([&] { return server.HungUp() == 1; }));
        }
    }

    testcd::ScopedEnv env("VELTO_MUSICBRAINZ_SERVER", std::string("http://") + kStallingName);
    bool delivered = false;
    auto thread = std::make_optional<lookup::LookupThread>();
    thread->Start(table, [&](const lookup::LookupResult&) { delivered = true; });
    ASSERT_TRUE(within([] { return TheStall().resolving.load(); }));
    const auto start = std::chrono::steady_clock::now();
    thread.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
    EXPECT_FALSE(delivered);
    TheStall().released = true;
}
