#pragma once
// The one place that knows whether something holds the programmer or the
// buffers: a chip command, batch mode, a firmware upgrade or a diagnosis.
// Every entry point that reaches a buffer, the catalogue or the transport asks
// it; the window derives the enabled state of its controls from it in one
// place, and a handler called anyway while it is held changes nothing.
//
// Events are processed inside a job, so a second entry point can be reached
// while the first one holds the lock: that is what it is for. There are no
// threads.

#include <functional>

namespace ostrel {

class JobLock {
  public:
    enum class Holder { None, Command, Upgrade, Diagnosis };

    // Anything running: a job of any kind, or batch mode between its chips.
    bool locked() const { return holder_ != Holder::None || batch_; }
    // A job holds the programmer right now (inside batch mode too).
    bool jobRunning() const { return holder_ != Holder::None; }
    Holder holder() const { return holder_; }
    bool batchActive() const { return batch_; }

    // A held lock, released when it goes out of scope. Empty (false) when the
    // lock was taken already.
    class Hold {
      public:
        Hold() = default;
        Hold(Hold&& other) noexcept : lock_(other.lock_) { other.lock_ = nullptr; }
        Hold& operator=(Hold&& other) noexcept {
            if (this != &other) {
                release();
                lock_ = other.lock_;
                other.lock_ = nullptr;
            }
            return *this;
        }
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;
        ~Hold() { release(); }
        explicit operator bool() const { return lock_ != nullptr; }
        void release() {
            if (lock_) lock_->set(Holder::None);
            lock_ = nullptr;
        }

      private:
        friend class JobLock;
        explicit Hold(JobLock* lock) : lock_(lock) {}
        JobLock* lock_ = nullptr;
    };

    // Takes the lock for one job. Batch mode lets its own commands through
    // (allowInBatch); everything else waits until batch mode has ended.
    Hold acquire(Holder holder, bool allowInBatch = false) {
        if (holder == Holder::None || holder_ != Holder::None || (batch_ && !allowInBatch))
            return Hold();
        set(holder);
        return Hold(this);
    }

    // Batch mode holds the lock between its jobs; only the runner sets it.
    bool beginBatch() {
        if (locked()) return false;
        batch_ = true;
        notify();
        return true;
    }
    void endBatch() {
        if (!batch_) return;
        batch_ = false;
        notify();
    }

    // Called on every change, so that the window re-derives its controls.
    std::function<void()> onChanged;

  private:
    void set(Holder holder) {
        holder_ = holder;
        notify();
    }
    void notify() {
        if (onChanged) onChanged();
    }

    Holder holder_ = Holder::None;
    bool batch_ = false;
};

}  // namespace ostrel
