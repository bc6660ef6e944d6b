#pragma once
// Changes on the line that a board follows: a chip started or finished, a
// lease taken, a heartbeat. The station interface calls notify(); a page's
// event stream waits for the count to move. Waiters are woken together, and
// at most every kGap: a busy line sends a few events a second, not one a chip.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>

namespace ostrel::line {

class LineEvents {
  public:
    static constexpr std::chrono::milliseconds kGap{250};

    // Something changed: the count moves on, waiters wake.
    void notify();
    // How many changes there were so far.
    uint64_t count() const;
    // Waits until the count is past `seen`, `timeout` has passed or close()
    // was called; returns the count then. Returns no sooner than kGap after
    // the wait that last returned a change for the same caller: callers pass
    // the time of their last event in `last` and get it updated.
    uint64_t wait(uint64_t seen, std::chrono::milliseconds timeout,
                  std::chrono::steady_clock::time_point& last);
    // Called (on the notifying thread, outside the lock) at each notify().
    int subscribe(std::function<void()> callback);
    void unsubscribe(int id);

    // The server stops: every wait returns at once, now and later.
    void close();
    bool closed() const;

  private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    uint64_t count_ = 0;
    bool closed_ = false;
    int nextId_ = 1;
    std::map<int, std::function<void()>> subscribers_;
};

}  // namespace ostrel::line
