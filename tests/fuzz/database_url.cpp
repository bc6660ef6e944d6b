// Any text as the production database's URL. Reading it is safe whatever it
// holds, and no password that libpq finds in it is ever shown: not in the
// name the program shows or logs for the database (read again by libpq, the
// name's password is "***" and no part of the real one; a password written
// plainly, once, is nowhere in it), and not in a reason that quotes it, nor in the words
// parseDatabaseUrl refuses it with.

#include <libpq-fe.h>

#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "production/production_store.h"

namespace ostrel::fuzzing {
namespace {

struct Options {
    bool read = false;
    std::string password;             // empty when none
    std::vector<std::string> others;  // every other keyword and value
};

Options optionsOf(const std::string& text) {
    Options out;
    char* message = nullptr;
    PQconninfoOption* options = PQconninfoParse(text.c_str(), &message);
    PQfreemem(message);
    if (options == nullptr) return out;
    out.read = true;
    for (const PQconninfoOption* o = options; o->keyword != nullptr; ++o) {
        const std::string keyword = o->keyword;
        if (o->val == nullptr) continue;
        if (keyword == "password")
            out.password = o->val;
        else
            out.others.insert(out.others.end(), {keyword, o->val});
    }
    PQconninfoFree(options);
    return out;
}

bool holds(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The password another of the same length, with none of its characters.
std::string otherThan(const std::string& password) {
    std::string other = password;
    for (char& c : other) c = c == 'q' ? 'z' : 'q';
    return other;
}

// True when `password` is written plainly in `url`, exactly once and as the
// whole password: written otherwise there, it is found nowhere else.
bool writtenOncePlainly(const std::string& url, const std::string& password,
                        const std::vector<std::string>& others) {
    if (password.size() < 3 ||
        password.find_first_of(" \t\n\r\f\v='\\:@/?&%#,*") != std::string::npos)
        return false;
    for (const std::string& other : others)
        if (holds(other, password)) return false;
    for (const char* scheme : {"postgresql://", "postgres://"})
        if (holds(scheme, password)) return false;
    const std::size_t at = url.find(password);
    if (at == std::string::npos || url.find(password, at + 1) != std::string::npos) return false;
    std::string changed = url;
    changed.replace(at, password.size(), otherThan(password));
    const Options again = optionsOf(changed);
    return again.read && again.password == otherThan(password);
}

}  // namespace
}  // namespace ostrel::fuzzing

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    using namespace ostrel;
    using namespace ostrel::fuzzing;
    const std::string url(reinterpret_cast<const char*>(data), size);
    if (url.find('\0') != std::string::npos) return 0;  // no command line or setting holds one

    DatabaseUrl parsed;
    std::string error;
    const bool read = parseDatabaseUrl(url, parsed, error);
    require(read == error.empty(), "a URL refused without words, or read with them");
    const std::string shown = databaseShownName(url);
    const std::string quoted = databaseReason(url, "<<" + url + ">>");

    const Options options = optionsOf(url);
    const std::string& password = options.password;
    if (password.empty() || holds(password, "*")) return 0;

    // What follows the *** may be the next option, joined to it where a
    // closing quote went with the password; never a part of the password.
    const Options again = optionsOf(shown);
    if (again.read && !again.password.empty()) {
        require(again.password.rfind("***", 0) == 0, "the name shown holds a password");
        const std::string after = again.password.substr(3);
        require(after.empty() || !holds(password, after),
                "the name shown holds a part of the password");
    }
    if (writtenOncePlainly(url, password, options.others)) {
        require(!holds(shown, password), "the name shown holds the password");
        require(!holds(quoted, password), "the reason quoting the URL holds the password");
        require(!holds(error, password), "the refusal of the URL holds the password");
    }
    require(!holds(databaseReason(url, "<<" + password + ">>"), password),
            "a reason quoting the password holds it");
    return 0;
}
