#pragma once
// The two halves of running a program of ours as a process against the
// simulator: what the child does after fork() and how its exit is read.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace ostrel::testing {

// In the child: binds the simulator configured by `config` (its log to `log`),
// sets the C locale so that texts are English, and replaces the process with
// `program`. Only returns, as exit status 127, when the program cannot start.
[[noreturn]] inline void execAgainstSimulator(const std::string& program,
                                              const std::vector<std::string>& args,
                                              const std::string& config, const std::string& log) {
    setenv("LD_LIBRARY_PATH", OSTREL_SIM_DIR, 1);
    setenv("OSTREL_SIM_CONFIG", config.c_str(), 1);
    setenv("OSTREL_SIM_LOG", log.c_str(), 1);
    setenv("LANG", "C", 1);
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program.c_str(), argv.data());
    _exit(127);
}

// Waits for `pid` to end: its exit status, or 128 + the signal that ended it.
inline int waitForExit(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Whether `stream`, what a program wrote to standard output or error, holds
// `part`. An empty `part` asks for an empty stream: nothing written, rather
// than anything at all.
inline ::testing::AssertionResult holds(const std::string& stream, const std::string& part) {
    if (part.empty() ? stream.empty() : stream.find(part) != std::string::npos)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << (part.empty() ? "expected nothing, got:\n" : "expected \"" + part + "\" in:\n")
           << stream;
}

}  // namespace ostrel::testing
