#pragma once
// The line server (ostrel-line) of the test's own over a database the test
// made: its stations added with their tokens, then served on a free port of
// the loopback; stopped (SIGTERM) and started again at will, and stopped when
// the object goes, also when the test failed.

#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "base/platform_http.h"

namespace ostrel::testing {

class LineServer {
  public:
    explicit LineServer(std::string databaseUrl, std::string log)
        : url_(std::move(databaseUrl)), log_(std::move(log)) {}
    LineServer(const LineServer&) = delete;
    LineServer& operator=(const LineServer&) = delete;
    ~LineServer() { stop(); }

    static std::string program() { return std::string(OSTREL_BIN_DIR) + "/ostrel-line"; }

    // `ostrel-line --db URL station add NAME`: the token it printed (its
    // last word), or empty with `error` set.
    std::string addStation(const std::string& name, std::string& error) const {
        const std::string command =
            "'" + program() + "' --db '" + url_ + "' station add '" + name + "' 2>>'" + log_ + "'";
        FILE* out = popen(command.c_str(), "r");
        if (out == nullptr) {
            error = "cannot run " + command;
            return {};
        }
        std::string text;
        char block[512];
        for (std::size_t n; (n = std::fread(block, 1, sizeof block, out)) > 0;)
            text.append(block, n);
        const int status = pclose(out);
        while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
        const std::size_t word = text.find_last_of(" \n\t");
        const std::string token = word == std::string::npos ? text : text.substr(word + 1);
        if (status != 0 || token.size() != 64) {
            error = "ostrel-line station add " + name + " failed (status " +
                    std::to_string(status) + ")";
            return {};
        }
        return token;
    }

    // Serves on a free port (the same one when started again); false with
    // `error` set when it does not answer within ten seconds.
    bool start(std::string& error) {
        if (port_ == 0) port_ = freePort();
        pid_ = fork();
        if (pid_ == 0) {
            std::freopen(log_.c_str(), "a", stderr);
            std::freopen(log_.c_str(), "a", stdout);
            const std::string listen = "127.0.0.1:" + std::to_string(port_);
            execl(program().c_str(), program().c_str(), "--db", url_.c_str(), "--listen",
                  listen.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        platform::HttpTarget target{false, "127.0.0.1", port_, hostHeader()};
        for (int i = 0; i < 200; ++i) {
            if (platform::httpRequest(target, "GET", "/api/v1/identity", "", "-", 1).status != 0)
                return true;
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        error =
            "ostrel-line did not start on port " + std::to_string(port_) + " (see " + log_ + ")";
        return false;
    }

    void stop() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
    }

    int port() const { return port_; }
    std::string hostHeader() const { return "127.0.0.1:" + std::to_string(port_); }
    std::string url() const { return "http://" + hostHeader(); }

  private:
    // A port the system gives for the asking, given back for the server.
    static int freePort() {
        const int s = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        int port = 0;
        if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
            getsockname(s, reinterpret_cast<sockaddr*>(&address), &size) == 0)
            port = ntohs(address.sin_port);
        close(s);
        return port;
    }

    std::string url_;
    std::string log_;
    int port_ = 0;
    pid_t pid_ = -1;
};

}  // namespace ostrel::testing
