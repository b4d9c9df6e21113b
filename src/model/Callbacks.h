// A list of callbacks that observers subscribe to. A subscription is a handle: the callback is
// called until the handle goes (or is cancelled), so an observer that holds its handles as
// members unsubscribes by going away. The list may go first; its handles then do nothing. A
// callback may cancel itself (or others) while the list is being called.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace tessera {

/// A callback's place in a list of callbacks, given up when the handle goes.
class Subscription {
public:
    Subscription() = default;
    explicit Subscription(std::function<void()> cancel) : cancel_(std::move(cancel)) {}
    Subscription(Subscription&& other) noexcept : cancel_(std::exchange(other.cancel_, {})) {}
    Subscription& operator=(Subscription&& other) noexcept {
        if (this != &other) {
            cancel();
            cancel_ = std::exchange(other.cancel_, {});
        }
        return *this;
    }
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;
    ~Subscription() { cancel(); }

    /// Takes the callback off its list now.
    void cancel() {
        if (auto cancel = std::exchange(cancel_, {})) cancel();
    }

private:
    std::function<void()> cancel_;
};

template <typename... Args> class Callbacks {
public:
    /// Calls `callback` with every notification until the handle goes.
    [[nodiscard]] Subscription subscribe(std::function<void(Args...)> callback) {
        const std::uint64_t id = ++lastId_;
        entries_->push_back({id, std::move(callback)});
        return Subscription([weak = std::weak_ptr<std::vector<Entry>>(entries_), id] {
            if (auto entries = weak.lock())
                std::erase_if(*entries, [id](const Entry& entry) { return entry.id == id; });
        });
    }
    void operator()(Args... args) const {
        const std::vector<Entry> entries = *entries_; // callbacks may change the list
        for (const Entry& entry : entries)
            if (std::ranges::any_of(*entries_, [&](const Entry& e) { return e.id == entry.id; }))
                entry.callback(args...);
    }

private:
    struct Entry {
        std::uint64_t id;
        std::function<void(Args...)> callback;
    };
    // Shared with the handles, which may outlive the list.
    std::shared_ptr<std::vector<Entry>> entries_ = std::make_shared<std::vector<Entry>>();
    std::uint64_t lastId_ = 0;
};

} // namespace tessera
