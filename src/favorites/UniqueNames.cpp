#include "favorites/UniqueNames.h"

#include "base/Paths.h"
#include "logs/Logger.h"

#include <algorithm>
#include <deque>
#include <map>
#include <optional>
#include <set>

namespace tessera {
namespace {

struct Item {
    std::deque<std::string> used;
    std::vector<std::string> remaining;
};

using Counts = std::map<std::deque<std::string>, int>;

Counts countUsed(const std::vector<Item>& items) {
    Counts counts;
    for (const Item& item : items)
        ++counts[item.used];
    return counts;
}

// One pass: every item whose name is still shared (or every item, before the first count)
// takes its next component from the end. Returns whether any item took one.
bool takeComponents(std::vector<Item>& items, const Counts* counts) {
    bool took = false;
    for (Item& item : items) {
        if (item.remaining.empty()) continue;
        if (counts != nullptr && counts->at(item.used) <= 1) continue;
        item.used.push_front(std::move(item.remaining.back()));
        item.remaining.pop_back();
        took = true;
    }
    return took;
}

std::string nameOf(const std::deque<std::string>& used) {
    if (used.empty()) return {};
    std::string detail;
    for (std::size_t i = 0; i + 1 < used.size(); ++i) {
        // The root's "/" leads the detail as its slash rather than doubling it.
        if (i == 0 && used[0] == "/") continue;
        if (i > 0) detail += '/';
        detail += used[i];
    }
    if (used.size() > 1 && used[0] == "/" && detail.empty()) detail = "/";
    if (detail.empty()) return used.back();
    return used.back() + " \u2013 " + detail;
}

void logComponents(const std::vector<Item>& items) {
    if (Logger::level() < 3) return;
    std::string text = "Path components for unique display: ";
    for (const Item& item : items) {
        text += '[';
        for (const std::string& component : item.used)
            text += component + ",";
        text += "] ";
    }
    Logger::log(3, text);
}

} // namespace

std::vector<std::string> plainComponents(const std::string& path) {
    std::vector<std::string> components{"/"};
    std::size_t at = 0;
    while (at < path.size()) {
        const std::size_t end = std::min(path.find('/', at), path.size());
        if (end > at) components.push_back(path.substr(at, end - at));
        at = end + 1;
    }
    return components;
}

std::vector<std::string> displayComponents(const std::string& path,
                                           const std::vector<platform::Mount>& mounts) {
    const auto mount = platform::mountContaining(path, mounts);
    if (!mount || mount->mountPoint == "/") return plainComponents(path);
    std::string volumeName = platform::identityOf(*mount).label;
    if (volumeName.empty()) volumeName = std::string(lastComponent(mount->mountPoint));
    std::vector<std::string> components{volumeName};
    const std::vector<std::string> inside =
        plainComponents(path.substr(std::min(path.size(), mount->mountPoint.size())));
    components.insert(components.end(), inside.begin() + 1, inside.end());
    return components;
}

std::vector<std::string> uniqueDisplayNames(const std::vector<UniqueNameInput>& inputs) {
    std::vector<Item> items;
    for (const UniqueNameInput& input : inputs)
        items.push_back({{}, input.display});
    const auto distinctPaths = [&] {
        std::set<std::string> paths;
        for (const UniqueNameInput& input : inputs)
            paths.insert(input.path);
        return paths.size() == inputs.size();
    }();

    std::optional<Counts> counts;
    bool fellBack = false;
    for (;;) {
        const bool took = takeComponents(items, counts ? &*counts : nullptr);
        counts = countUsed(items);
        const bool exhausted =
            std::ranges::all_of(items, [](const Item& item) { return item.remaining.empty(); });
        const bool shared =
            std::ranges::any_of(*counts, [](const auto& c) { return c.second > 1; });
        // Display components that cannot tell distinct locations apart give way, once, to
        // the plain path components.
        if (!fellBack && items.size() >= 2 && exhausted && shared && distinctPaths) {
            fellBack = true;
            for (std::size_t i = 0; i < items.size(); ++i)
                items[i] = {{}, plainComponents(inputs[i].path)};
            counts.reset();
            continue;
        }
        if (!took) break;
    }
    logComponents(items);
    std::vector<std::string> names;
    for (const Item& item : items)
        names.push_back(nameOf(item.used));
    return names;
}

} // namespace tessera
