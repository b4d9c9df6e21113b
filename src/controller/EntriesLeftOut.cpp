#include "controller/EntriesLeftOut.h"

#include <iterator>
#include <utility>

namespace tessera {

std::pair<EntriesLeftOut::Paths::iterator, EntriesLeftOut::Paths::iterator>
EntriesLeftOut::below(std::string_view top) {
    if (top.empty()) return {paths_.begin(), paths_.end()};
    // "top/..." sorts between "top/" and "top0" ('0' follows '/'); "top x" and "top.d" do not.
    std::string first(top);
    first += '/';
    std::string end(top);
    end += static_cast<char>('/' + 1);
    return {paths_.lower_bound(first), paths_.lower_bound(end)};
}

void EntriesLeftOut::forgetAtOrBelow(std::string_view top) {
    if (paths_.empty()) return; // as a rule: every deletion of a live tree comes here
    const auto [first, last] = below(top);
    paths_.erase(first, last);
    if (const auto self = paths_.find(top); self != paths_.end()) paths_.erase(self);
}

void EntriesLeftOut::add(std::vector<std::string> found) {
    paths_.insert(std::make_move_iterator(found.begin()), std::make_move_iterator(found.end()));
}

void EntriesLeftOut::replaceAtOrBelow(std::string_view top, std::vector<std::string> found) {
    forgetAtOrBelow(top);
    add(std::move(found));
}

void EntriesLeftOut::move(std::string_view from, std::string_view to) {
    if (from == to || from.empty()) return;
    std::vector<std::string> moved;
    if (const auto self = paths_.find(from); self != paths_.end()) {
        moved.emplace_back(to);
        paths_.erase(self);
    }
    const auto [first, last] = below(from);
    for (auto path = first; path != last; ++path)
        moved.push_back(std::string(to) + path->substr(from.size()));
    paths_.erase(first, last);
    // Whatever was known at the destination was replaced by what came.
    forgetAtOrBelow(to);
    paths_.insert(std::make_move_iterator(moved.begin()), std::make_move_iterator(moved.end()));
}

} // namespace tessera
