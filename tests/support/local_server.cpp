#include "tests/support/local_server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace testnet {

LocalServer::LocalServer(int status, std::string body, int delayMs)
    : status_(status), body_(std::move(body)), delayMs_(delayMs) {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof addr;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || listen(listener_, 4) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&addr), &length) != 0)
        ADD_FAILURE() << "no local server";
    port_ = ntohs(addr.sin_port);
    thread_ = std::thread([this] { Serve(); });
}

LocalServer::~LocalServer() {
    stop_ = true;
    shutdown(listener_, SHUT_RDWR);
    close(listener_);
    thread_.join();
}

std::vector<std::string> LocalServer::Requests() {
    std::lock_guard lock(mutex_);
    return requests_;
}

void LocalServer::Serve() {
    while (!stop_) {
        const int client = accept(listener_, nullptr, nullptr);
        if (client < 0) return;
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos) {
            const ssize_t n = recv(client, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            request.append(buffer, static_cast<std::size_t>(n));
        }
        {
            std::lock_guard lock(mutex_);
            requests_.push_back(request);
        }
        bool hungUp = false;
        for (int waited = 0; waited < delayMs_ && !stop_ && !hungUp; waited += 50) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            char next;
            hungUp = recv(client, &next, 1, MSG_PEEK | MSG_DONTWAIT) == 0;
        }
        if (hungUp) {
            ++hungUp_;
            close(client);
            continue;
        }
        const std::string reply =
            "HTTP/1.1 " + std::to_string(status_) + " X\r\nContent-Type: application/json\r\n" +
            "Content-Length: " + std::to_string(body_.size()) + "\r\nConnection: close\r\n\r\n" + body_;
        send(client, reply.data(), reply.size(), MSG_NOSIGNAL);
        close(client);
    }
}

}  // namespace testnet
