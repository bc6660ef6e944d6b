#pragma once
// A PostgreSQL server of the test's own: a cluster made by initdb in a
// temporary folder, listening on a Unix socket in that folder only (no TCP
// port), stopped and removed when the object goes, also when the test failed.
// The server refuses to run as root, so under root the cluster belongs to
// the unprivileged user nobody, and its programs run through runuser.

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace ostrel::testing {

class PostgresServer {
  public:
    PostgresServer() = default;
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;
    ~PostgresServer() {
        if (folder_.empty()) return;
        stop(true);
        std::system(("rm -rf '" + folder_ + "'").c_str());
    }

    // Makes the cluster and starts it; false with `error` saying why (the
    // end of initdb's or the server's log). `durable` false: no fsync, for
    // tests that need speed: a commit still reaches the operating system
    // before it returns, so it survives the server's crash, not the machine's.
    bool start(std::string& error, bool durable = false) {
        char pattern[] = "/tmp/ostrel-pg-XXXXXX";
        if (mkdtemp(pattern) == nullptr) {
            error = "cannot make a temporary folder";
            return false;
        }
        folder_ = pattern;
        durable_ = durable;
        if (geteuid() == 0) {
            const passwd* nobody = getpwnam("nobody");
            if (nobody == nullptr || chown(folder_.c_str(), nobody->pw_uid, nobody->pw_gid) != 0) {
                error = "cannot give " + folder_ + " to the user nobody";
                return false;
            }
            asUser_ = "runuser -u nobody -- ";
        }
        if (!run(kBin + "initdb -D '" + folder_ + "/data' -U ostrel -A trust -E UTF8 --locale=C " +
                 "--no-sync > '" + folder_ + "/initdb.log' 2>&1")) {
            error = "initdb failed: " + tail(folder_ + "/initdb.log");
            return false;
        }
        return startAgain(error);
    }

    // pg_ctl start on the cluster made before.
    bool startAgain(std::string& error) {
        const std::string options = "-c listen_addresses='' -c unix_socket_directories='" +
                                    folder_ + "' -c max_connections=40" +
                                    (durable_ ? "" : " -c fsync=off");
        if (!run(kBin + "pg_ctl -D '" + folder_ + "/data' -l '" + folder_ +
                 "/server.log' -w -t 60 -o \"" + options + "\" start > /dev/null 2>&1")) {
            error = "the server did not start: " + tail(folder_ + "/server.log");
            return false;
        }
        running_ = true;
        return true;
    }

    // pg_ctl stop, at once (-m immediate) or after the sessions ended.
    void stop(bool immediate) {
        if (!running_) return;
        run(kBin + "pg_ctl -D '" + folder_ + "/data' -w -t 60 -m " +
            (immediate ? "immediate" : "fast") + " stop > /dev/null 2>&1");
        running_ = false;
    }

    // The same database, as a conninfo string and as a URI.
    std::string conninfo() const { return "host=" + folder_ + " user=ostrel dbname=postgres"; }
    std::string uri() const { return "postgresql://ostrel@/postgres?host=" + folder_; }

  private:
    bool run(const std::string& command) const {
        return std::system(("cd '" + folder_ + "' && " + asUser_ + command).c_str()) == 0;
    }
    static std::string tail(const std::string& path) {
        std::ifstream in(path);
        std::stringstream text;
        text << in.rdbuf();
        const std::string all = text.str();
        return all.size() > 600 ? all.substr(all.size() - 600) : all;
    }

    inline static const std::string kBin = "/usr/lib/postgresql/15/bin/";
    std::string folder_;
    std::string asUser_;
    bool durable_ = false;
    bool running_ = false;
};

}  // namespace ostrel::testing
