// A list of callbacks that observers add and remove by the id they were given. A callback may
// remove itself (or others) while the list is being called.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

namespace tessera {

template <typename... Args> class Callbacks {
public:
    using Id = std::uint64_t;

    Id add(std::function<void(Args...)> callback) {
        entries_.push_back({++lastId_, std::move(callback)});
        return lastId_;
    }
    void remove(Id id) {
        std::erase_if(entries_, [id](const Entry& entry) { return entry.id == id; });
    }
    void operator()(Args... args) const {
        const std::vector<Entry> entries = entries_; // callbacks may change the list
        for (const Entry& entry : entries)
            if (std::ranges::any_of(entries_, [&](const Entry& e) { return e.id == entry.id; }))
                entry.callback(args...);
    }

private:
    struct Entry {
        Id id;
        std::function<void(Args...)> callback;
    };
    std::vector<Entry> entries_;
    Id lastId_ = 0;
};

} // namespace tessera
