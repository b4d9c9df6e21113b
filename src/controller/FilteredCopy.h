// Keeps the filtered copy that an observer shows (a search result) equal to filtering the live
// tree afresh, one change at a time, and tells the observer what changed in its copy.
//
// A file is in the copy when it matches; a folder when something below it is, or when it
// matches itself as an empty folder. The updater is told of a change after the live tree has
// taken it.
#pragma once

#include <string>

namespace tessera {

class Directory;
class File;
class FileControllerObserver;
class FilePredicate;
class MainQueue;

class FilteredCopy {
public:
    /// `observer` shows a copy filtered by its observedFilter(). Nodes that leave the copy are
    /// kept until `mainQueue`'s next task.
    FilteredCopy(FileControllerObserver& observer, MainQueue& mainQueue);

    /// `file` joined the live tree.
    void inserted(File& file);
    /// The node at `path` (relative, as relativePath() gives it) left the live tree.
    void removed(const std::string& path);
    /// `file` was at `oldPath` and is now where it is.
    void moved(File& file, const std::string& oldPath);
    /// `file` took new figures or dates in place.
    void changed(File& file);

private:
    /// The copy of the live node at `path`, or none.
    File* copyAt(const std::string& path) const;
    /// Brings what `file` now stands for into the copy, with the folders above it that the
    /// copy lacks.
    void bringIn(File& file);
    /// Takes the copy of `path` out, then the folders above it that nothing keeps any more.
    void takeOut(const std::string& path);
    void detach(File& copy);
    void prune(Directory* folder);
    /// Gives a file's copy the live file's figures and dates, moving it to its sorted place;
    /// false, changing nothing, when the copy cannot hold the dates in place.
    bool updateCopy(File& copy, const File& file);

    FileControllerObserver& observer_;
    const FilePredicate& filter_;
    MainQueue& mainQueue_;
};

} // namespace tessera
