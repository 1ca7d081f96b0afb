// A value one thread writes and another reads, behind its own small lock held only to copy it.
#pragma once

#include <mutex>
#include <utility>

namespace tolvek {

template <class T>
class Guarded {
public:
    T get() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return value_;
    }
    void set(T value) {
        std::lock_guard<std::mutex> lock(mutex_);
        value_ = std::move(value);
    }
    // Runs `change` on the value under the lock and returns what it returns.
    template <class F>
    auto with(F&& change) {
        std::lock_guard<std::mutex> lock(mutex_);
        return change(value_);
    }

private:
    mutable std::mutex mutex_;
    T value_ {};
};

}  // namespace tolvek
