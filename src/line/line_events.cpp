#include "line/line_events.h"

#include <vector>

namespace ostrel::line {

void LineEvents::notify() {
    std::vector<std::function<void()>> callbacks;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++count_;
        for (const auto& [id, callback] : subscribers_) callbacks.push_back(callback);
    }
    changed_.notify_all();
    for (const auto& callback : callbacks) callback();
}

uint64_t LineEvents::count() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return count_;
}

uint64_t LineEvents::wait(uint64_t seen, std::chrono::milliseconds timeout,
                          std::chrono::steady_clock::time_point& last) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait_until(lock, until, [&] { return closed_ || count_ != seen; });
    if (closed_ || count_ == seen) return count_;
    // A change: not sooner than kGap after the caller's last one, so that
    // the changes meanwhile go out as one.
    const auto earliest = last + kGap;
    if (std::chrono::steady_clock::now() < earliest)
        changed_.wait_until(lock, earliest, [&] { return closed_; });
    last = std::chrono::steady_clock::now();
    return count_;
}

int LineEvents::subscribe(std::function<void()> callback) {
    std::lock_guard<std::mutex> lock(mutex_);
    subscribers_[nextId_] = std::move(callback);
    return nextId_++;
}

void LineEvents::unsubscribe(int id) {
    std::lock_guard<std::mutex> lock(mutex_);
    subscribers_.erase(id);
}

void LineEvents::close() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
    }
    changed_.notify_all();
}

bool LineEvents::closed() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return closed_;
}

}  // namespace ostrel::line
