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

struct MultiFree {
    void operator()(CURLM* m) const { curl_multi_cleanup(m); }
};

// Takes the request out of its set however the transfer ends, before either handle is freed.
class Detach {
  public:
    Detach(CURLM* multi, CURL* curl) : multi_(multi), curl_(curl) {}
    ~Detach() { curl_multi_remove_handle(multi_, curl_); }
    Detach(const Detach&) = delete;
    Detach& operator=(const Detach&) = delete;

  private:
    CURLM* multi_;
    CURL* curl_;
};

}  // namespace

HttpReply HttpGet(const std::string& url, const std::string& userAgent, long timeoutSeconds,
                  std::size_t maxBytes, std::stop_token stop) {
    static std::once_flag init;
    std::call_once(init, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    HttpReply reply;
    std::unique_ptr<CURL, CurlFree> curl(curl_easy_init());
    std::unique_ptr<CURLM, MultiFree> multi(curl_multi_init());
    if (!curl || !multi) {
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

    // The transfer is driven here rather than by curl_easy_perform so that a stop wakes the wait
    // for the network at once instead of at the next time-out.
    CURLM* m = multi.get();
    if (curl_multi_add_handle(m, c) != CURLM_OK) {
        reply.error = "cannot start a request";
        return reply;
    }
    const Detach detach(m, c);
    const std::stop_callback wake(stop, [m] { curl_multi_wakeup(m); });
    int running = 1;
    while (true) {
        const CURLMcode step = curl_multi_perform(m, &running);
        if (stop.stop_requested()) {
            // A name still being resolved is left to its resolver thread rather than waited for.
            curl_easy_setopt(c, CURLOPT_QUICK_EXIT, 1L);
            reply.error = kAbandoned;
            reply.body.clear();
            return reply;
        }
        if (step != CURLM_OK) {
            reply.error = curl_multi_strerror(step);
            return reply;
        }
        if (running == 0) break;
        curl_multi_poll(m, nullptr, 0, 1000, nullptr);
    }
    int left = 0;
    const CURLMsg* done = curl_multi_info_read(m, &left);
    const CURLcode result = done && done->msg == CURLMSG_DONE ? done->data.result : CURLE_FAILED_INIT;
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
