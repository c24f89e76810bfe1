// A small HTTP server on 127.0.0.1 for tests: it answers every request with one canned reply,
// after a delay if asked, and notes the requests it was sent and the clients that hung up before
// their reply.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testnet {

class LocalServer {
  public:
    LocalServer(int status, std::string body, int delayMs = 0);
    ~LocalServer();
    LocalServer(const LocalServer&) = delete;
    LocalServer& operator=(const LocalServer&) = delete;

    std::string Url() const { return "http://127.0.0.1:" + std::to_string(port_); }
    std::vector<std::string> Requests();
    // How many clients closed their connection while the server delayed its reply.
    int HungUp() const { return hungUp_; }

  private:
    void Serve();

    int status_;
    std::string body_;
    int delayMs_;
    int listener_ = -1, port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> hungUp_{0};
    std::mutex mutex_;
    std::vector<std::string> requests_;
    std::thread thread_;
};

}  // namespace testnet
