// One HTTP GET with a time-out and a bound on the body's size, which its caller can abandon.
#pragma once

#include <stop_token>
#include <string>

namespace lookup {

struct HttpReply {
    long status = 0;  // the HTTP status; 0 when no reply came
    std::string body;
    std::string error;  // why no reply came, or why the body was cut off
};

// What the reply's error says when the request was abandoned.
inline constexpr const char* kAbandoned = "the request was abandoned";

// A stop requested on `stop` ends the request at once, whether it is connecting, waiting for the
// server or reading the body: the connection is closed and the reply says kAbandoned.
HttpReply HttpGet(const std::string& url, const std::string& userAgent, long timeoutSeconds,
                  std::size_t maxBytes, std::stop_token stop = {});

}  // namespace lookup
