// The searches of one view of a tree (the outline's search field): each search reads the tree on
// its own queue while the controller holds its updates back, and hands its result over before
// the held-back updates run, so that they reach the filtered copy too. A new search or a cleared
// filter cancels the running one and lets the updates run first.
#pragma once

#include "model/File.h"
#include "platform/OperationQueue.h"

#include <cstdint>
#include <memory>
#include <string>

namespace tessera {

class Directory;
class FileController;
class FilePredicate;
class MainQueue;

class SearchSessionDelegate {
public:
    virtual ~SearchSessionDelegate() = default;
    /// Main thread. `result` is the filtered copy, its root named by its path relative to the
    /// location ("" for the root), or none when nothing matched.
    virtual void searchSessionDidFinish(FilePtr result,
                                        const std::shared_ptr<const FilePredicate>& predicate) = 0;
};

class SearchSession {
public:
    SearchSession(SearchSessionDelegate& delegate, MainQueue& mainQueue);
    /// Cancels the running search and lets held-back updates run.
    ~SearchSession();
    SearchSession(const SearchSession&) = delete;
    SearchSession& operator=(const SearchSession&) = delete;

    /// Main thread: searches `file` (a folder of `controller`'s tree) for `predicate`.
    void start(const std::shared_ptr<FileController>& controller, const Directory& file,
               std::shared_ptr<const FilePredicate> predicate);
    /// Main thread: abandons the running search, if any, and runs the held-back updates.
    void cancel();
    bool isSearching() const { return searching_; }

private:
    class Receiver;
    void finish(std::uint64_t search, FilePtr result, const std::string& path,
                const std::shared_ptr<const FilePredicate>& predicate);

    SearchSessionDelegate& delegate_;
    MainQueue& mainQueue_;
    std::weak_ptr<FileController> paused_; // the controller whose updates are held back
    std::uint64_t search_ = 0;             // the current search; older results are dropped
    bool searching_ = false;
    std::string searchedPath_; // relative to the location
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    OperationQueue queue_; // last: stopped first
};

} // namespace tessera
