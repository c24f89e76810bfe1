// One HTTP GET with a time-out and a bound on the body's size.
#pragma once

#include <string>

namespace lookup {

struct HttpReply {
    long status = 0;  // the HTTP status; 0 when no reply came
    std::string body;
    std::string error;  // why no reply came, or why the body was cut off
};

HttpReply HttpGet(const std::string& url, const std::string& userAgent, long timeoutSeconds,
                  std::size_t maxBytes);

}  // namespace lookup
