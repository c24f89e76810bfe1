#include "lookup/http_get.h"

#include <curl/curl.h>

#include <memory>
#include <mutex>

namespace lookup {

namespace {

struct Sink {
    std::string* body;
    std::size_t maxBytes;
    bool tooLong = false;
};

std::size_t Write(char* data, std::size_t size, std::size_t count, void* user) {
    auto* sink = static_cast<Sink*>(user);
    const std::size_t bytes = size * count;
    if (sink->body->size() + bytes > sink->maxBytes) {
        sink->tooLong = true;
        return 0;  // ends the transfer
    }
    sink->body->append(data, bytes);
    return bytes;
}

struct CurlFree {
    void operator()(CURL* c) const { curl_easy_cleanup(c); }
};

}  // namespace

HttpReply HttpGet(const std::string& url, const std::string& userAgent, long timeoutSeconds,
                  std::size_t maxBytes) {
    static std::once_flag init;
    std::call_once(init, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    HttpReply reply;
    std::unique_ptr<CURL, CurlFree> curl(curl_easy_init());
    if (!curl) {
        reply.error = "cannot start a request";
        return reply;
    }
    Sink sink{&reply.body, maxBytes};
    CURL* c = curl.get();
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_USERAGENT, userAgent.c_str());
    curl_easy_setopt(c, CURLOPT_TIMEOUT, timeoutSeconds);
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, timeoutSeconds);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);  // time-outs without signals, from any thread
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(c, CURLOPT_MAXREDIRS, 3L);
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, nullptr);
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, Write);
    curl_easy_setopt(c, CURLOPT_WRITEDATA, &sink);
    const CURLcode result = curl_easy_perform(c);
    if (sink.tooLong) {
        reply.error = "the reply is longer than " + std::to_string(maxBytes) + " bytes";
        reply.body.clear();
        return reply;
    }
    if (result != CURLE_OK) {
        reply.error = curl_easy_strerror(result);
        return reply;
    }
    curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &reply.status);
    return reply;
}

}  // namespace lookup
