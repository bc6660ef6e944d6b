#pragma once
// The line server as a process of the test's own: tokens added with
// `ostrel-line ROLE add NAME`, then the server started on a free port of the
// loopback and ended with SIGTERM when the object goes, also when the test
// failed. Its standard error goes to a file, where the port is read from its
// first line.

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace ostrel::testing {

class LineProcess {
  public:
    LineProcess() = default;
    LineProcess(const LineProcess&) = delete;
    LineProcess& operator=(const LineProcess&) = delete;
    ~LineProcess() { stop(); }

    static std::string program() { return std::string(OSTREL_BIN_DIR) + "/ostrel-line"; }

    // The token `ostrel-line --db DB ROLE add NAME` printed; empty with
    // `error` set when it failed.
    static std::string addToken(const std::string& db, const std::string& role,
                                const std::string& name, std::string& error) {
        const std::string command = "LANG=C '" + program() + "' --db '" + db + "' " + role +
                                    " add '" + name + "' 2>/dev/null";
        std::FILE* out = popen(command.c_str(), "r");
        char line[256] = {};
        const bool read = out && std::fgets(line, sizeof line, out) != nullptr;
        const int status = out ? pclose(out) : -1;
        std::string token = read ? line : "";
        while (!token.empty() && (token.back() == '\n' || token.back() == '\r')) token.pop_back();
        if (status != 0 || token.size() != 64) {
            error = "ostrel-line " + role + " add " + name + " failed (status " +
                    std::to_string(status) + ")";
            return {};
        }
        return token;
    }

    // Starts `ostrel-line --db DB --listen 127.0.0.1:0 ARGS...`, its standard
    // error to `logPath`; false with `error` set when it did not come up.
    bool start(const std::string& db, const std::string& logPath, std::string& error,
               const std::vector<std::string>& args = {}) {
        log_ = logPath;
        pid_ = fork();
        if (pid_ == 0) {
            std::freopen(logPath.c_str(), "w", stderr);
            setenv("LANG", "C", 1);
            unsetenv("LC_ALL");
            unsetenv("LC_MESSAGES");
            std::vector<std::string> all = {program(), "--db", db, "--listen", "127.0.0.1:0"};
            all.insert(all.end(), args.begin(), args.end());
            std::vector<char*> argv;
            for (std::string& a : all) argv.push_back(&a[0]);
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
        const std::string marker = "runs on 127.0.0.1:";
        for (int i = 0; i < 200; ++i) {
            const std::string text = logText();
            const std::size_t at = text.find(marker);
            if (at != std::string::npos) {
                port_ = std::atoi(text.c_str() + at + marker.size());
                return port_ > 0;
            }
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                error = "ostrel-line ended: " + text;
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        error = "ostrel-line did not start in 10 s: " + logText();
        return false;
    }

    // SIGTERM and its exit status (-1 when it was not running).
    int stop() {
        if (pid_ <= 0) return -1;
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

    int port() const { return port_; }
    pid_t pid() const { return pid_; }
    std::string logText() const {
        std::ifstream in(log_);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }

  private:
    pid_t pid_ = -1;
    int port_ = 0;
    std::string log_;
};

}  // namespace ostrel::testing
