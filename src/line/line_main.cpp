// ostrel-line: the line server. Serves the station interface and the board
// over one production database, or adds a token and ends.

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <thread>
#include <vector>

#include "base/locale_language.h"
#include "base/messages.h"
#include "base/platform.h"
#include "base/texts.h"
#include "line/board_routes.h"
#include "line/line_server.h"
#include "line/line_service.h"
#include "line/line_tokens.h"
#include "production/production_store.h"

namespace {

using namespace ostrel;
using namespace ostrel::line;

struct Options {
    std::string db;
    std::string listen;
    std::vector<std::string> hosts;
    std::string tlsCert, tlsKey;
    std::string lang;
    bool help = false;
    bool version = false;
    std::vector<std::string> words;  // ROLE add NAME
};

bool parse(int argc, char** argv, Options& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            into = argv[++i];
            return true;
        };
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (arg == "--db") {
            if (!value(options.db)) return false;
        } else if (arg == "--listen") {
            if (!value(options.listen)) return false;
        } else if (arg == "--host") {
            std::string host;
            if (!value(host)) return false;
            options.hosts.push_back(host);
        } else if (arg == "--tls-cert") {
            if (!value(options.tlsCert)) return false;
        } else if (arg == "--tls-key") {
            if (!value(options.tlsKey)) return false;
        } else if (arg == "--lang") {
            if (!value(options.lang)) return false;
        } else if (arg.rfind("--", 0) == 0) {
            error = "unknown option " + arg;
            return false;
        } else {
            options.words.push_back(arg);
        }
    }
    if (!options.words.empty() && (options.words.size() != 3 || options.words[1] != "add" ||
                                   (options.words[0] != "station" && options.words[0] != "viewer" &&
                                    options.words[0] != "admin") ||
                                   options.words[2].empty())) {
        error = "the only command is station|viewer|admin add NAME";
        return false;
    }
    if (options.tlsCert.empty() != options.tlsKey.empty()) {
        error = "--tls-cert and --tls-key go together";
        return false;
    }
    if (!options.lang.empty() && options.lang != "en" && options.lang != "zh_CN" &&
        options.lang != "zh_TW") {
        error = "--lang takes en, zh_CN or zh_TW";
        return false;
    }
    return true;
}

int languageOf(const Options& options) {
    if (options.lang == "en") return LangEnglish;
    if (options.lang == "zh_CN") return LangSimplified;
    if (options.lang == "zh_TW") return LangTraditional;
    return languageForLocale(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"),
                             std::getenv("LANG"));
}

volatile std::sig_atomic_t interrupted = 0;

// Connections to a PostgreSQL database.
constexpr std::size_t kConnections = 8;

int run(const Options& options, int language) {
    std::string url = options.db;
    if (url.empty() && std::getenv("OSTREL_LINE_DB")) url = std::getenv("OSTREL_LINE_DB");
    if (url.empty()) {
        std::fprintf(stderr, "ostrel-line: --db URL is missing (ostrel-line --help)\n");
        return 2;
    }
    LineSettings settings;
    std::string error;
    if (!options.listen.empty() && !parseListen(options.listen, settings, error)) {
        std::fprintf(stderr, "ostrel-line: %s\n", error.c_str());
        return 2;
    }
    settings.hosts = options.hosts;
    std::unique_ptr<ProductionStore> store = ProductionStore::open(url, error);
    if (!store) {
        std::fprintf(stderr, "ostrel-line: %s\n",
                     databaseProblem(Txt::DatabaseUnusable, url, error, language).c_str());
        return 1;
    }
    if (!options.words.empty()) {
        const std::string& role = options.words[0];
        const std::string& name = options.words[2];
        const std::string token = newToken();
        if (token.empty()) {
            std::fprintf(stderr, "ostrel-line: the system gave no random bytes for a token\n");
            return 1;
        }
        if (!store->setLineToken(name, role, tokenHash(token), error)) {
            std::fprintf(stderr, "ostrel-line: %s\n",
                         databaseProblem(Txt::DatabaseUnusable, url, error, language).c_str());
            return 1;
        }
        std::fprintf(stderr, "%s\n",
                     fillIn(programText(Txt::LineTokenAdded, language), {role, name}).c_str());
        std::printf("%s\n", token.c_str());
        return 0;
    }

    // PostgreSQL takes requests at once over several connections and commits
    // them together; SQLite writes one at a time anyway.
    std::vector<std::unique_ptr<ProductionStore>> stores;
    stores.push_back(std::move(store));
    DatabaseUrl parsed;
    parseDatabaseUrl(url, parsed, error);
    while (!parsed.sqlite && stores.size() < kConnections) {
        std::unique_ptr<ProductionStore> more = ProductionStore::open(url, error);
        if (!more) {
            std::fprintf(stderr, "ostrel-line: %s\n",
                         databaseProblem(Txt::DatabaseUnusable, url, error, language).c_str());
            return 1;
        }
        stores.push_back(std::move(more));
    }
    LineService service(std::move(stores), url, settings);
    LineServer server(service, options.tlsCert, options.tlsKey);
    if (!server.valid()) {
        std::fprintf(stderr, "ostrel-line: cannot use the TLS certificate %s with the key %s\n",
                     options.tlsCert.c_str(), options.tlsKey.c_str());
        return 1;
    }
    // The board reads over a connection of its own.
    std::unique_ptr<BoardData> board = BoardData::open(url, error);
    if (!board) {
        std::fprintf(stderr, "ostrel-line: %s\n",
                     databaseProblem(Txt::DatabaseUnusable, url, error, language).c_str());
        return 1;
    }
    addBoard(server, *board);
    if (!server.bind()) {
        std::fprintf(stderr, "ostrel-line: cannot listen on %s:%d\n", settings.address.c_str(),
                     settings.port);
        return 1;
    }
    settings = service.settings();  // with the port bound
    const bool v6 = settings.address.find(':') != std::string::npos;
    const std::string where = (v6 ? "[" + settings.address + "]" : settings.address) + ":" +
                              std::to_string(settings.port);
    std::fprintf(stderr, "%s\n",
                 fillIn(programText(Txt::LineListening, language),
                        {where, options.tlsCert.empty() ? "http" : "https", databaseShownName(url)})
                     .c_str());
    std::fflush(stderr);
    platform::installInterruptHandler(&interrupted);
    std::atomic<bool> done{false};
    std::thread watcher([&] {
        while (!interrupted && !done) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        server.stop();
    });
    server.serve();
    done = true;
    watcher.join();
    return interrupted ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    ostrel::platform::prepareConsole(argc, argv);
    Options options;
    std::string error;
    if (!parse(argc, argv, options, error)) {
        std::fprintf(stderr, "ostrel-line: %s (ostrel-line --help shows the usage)\n",
                     error.c_str());
        return 2;
    }
    const int language = languageOf(options);
    if (options.help) {
        std::fputs(ostrel::programText(ostrel::Txt::LineUsage, language).c_str(), stdout);
        return 0;
    }
    if (options.version) {
        std::printf("ostrel-line %s\n", OSTREL_VERSION);
        return 0;
    }
    try {
        return run(options, language);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "ostrel-line: failed: %s\n", e.what());
        return 2;
    }
}
