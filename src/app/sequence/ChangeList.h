// The list beside a comparison's graph that names what changed between the two trees it
// stands between: each change's kind, the entry, both sizes and the difference, the largest
// change first (sortable by any column). Activating a row shows the entry in the graph.
#pragma once

#include <QTreeWidget>
#include <functional>

namespace tessera {

class File;
class TreeComparison;

class ChangeList final : public QTreeWidget {
public:
    /// The rows listed at most: a comparison's largest changes.
    static constexpr std::size_t kRowsShown = 2000;

    explicit ChangeList(QWidget* parent = nullptr);

    /// Lists the changes of `comparison` (none: empties the list); the same comparison again
    /// keeps the list as it stands.
    void show(const TreeComparison* comparison);
    /// Told the entry of an activated row: in the later tree, or the earlier for one gone.
    std::function<void(const File&)> activated;

private:
    const TreeComparison* shown_ = nullptr;
};

} // namespace tessera
