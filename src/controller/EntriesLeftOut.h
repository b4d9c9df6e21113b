// Entries a live tree leaves out, by path from the root: those that could not be read, or those
// the favourite's filter excluded, when they were last looked at (the scan's, then each
// measurement's for what it measured). The volume's account counts them; a measurement, a
// deletion or a move of a folder settles those below it, so that an entry readable again (or no
// longer excluded), or gone, is no longer counted, and none is counted twice.
#pragma once

#include <cstddef>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace tessera {

class EntriesLeftOut {
public:
    using Paths = std::set<std::string, std::less<>>;

    /// What a look at `top` (a path from the root, "" the root) left out at or below it, in
    /// place of what was known there before.
    void replaceAtOrBelow(std::string_view top, std::vector<std::string> found);
    /// Entries found left out, beside those known.
    void add(std::vector<std::string> found);
    /// `top` and everything below it are gone from the tree.
    void forgetAtOrBelow(std::string_view top);
    /// `from` and everything below it now lie at `to`.
    void move(std::string_view from, std::string_view to);
    std::size_t count() const { return paths_.size(); }
    const Paths& paths() const { return paths_; }

private:
    /// The paths strictly below `top`: those that begin with "top/" (all of them for the root).
    std::pair<Paths::iterator, Paths::iterator> below(std::string_view top);

    Paths paths_;
};

} // namespace tessera
