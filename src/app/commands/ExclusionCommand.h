// Leaving a folder out of the chart as an undoable step: a rule naming its path joins the
// favourite's exclusion filter (so that later scans leave it out too), and undo puts the filter
// back as it was.
#pragma once

#include <QUndoCommand>
#include <functional>
#include <memory>
#include <string>

namespace tessera {

class Favorite;
class Predicate;

class ExclusionCommand final : public QUndoCommand {
public:
    /// What the window does after each change of the filter: `rescan` is true when more than
    /// `path` changed (rules that were off woke with the new one), and the whole tree is to be
    /// measured again.
    using Applied = std::function<void(const std::string& path, bool rescan)>;

    /// Leaves the absolute `path` out of `favorite`'s scans when pushed.
    ExclusionCommand(std::shared_ptr<Favorite> favorite, std::string path, Applied applied);

    void undo() override;
    void redo() override;

private:
    std::shared_ptr<Favorite> favorite_;
    std::string path_;
    Applied applied_;
    std::shared_ptr<const Predicate> before_;
    bool wasEnabled_ = false;
    bool wokeOthers_ = false;
};

} // namespace tessera
