#include "controller/SearchSession.h"

#include "controller/FileController.h"
#include "model/Directory.h"
#include "scan/SearchOperation.h"

namespace tessera {

// Hands one search's result back to its session, if both are still there.
class SearchSession::Receiver final : public SearchOperationDelegate {
public:
    Receiver(SearchSession& session, std::weak_ptr<bool> alive, std::uint64_t search)
        : session_(session), alive_(std::move(alive)), search_(search) {}
    void searchOperationDidFinish(FilePtr result, const std::string& path,
                                  const std::shared_ptr<const FilePredicate>& predicate) override {
        if (alive_.expired()) return;
        session_.finish(search_, std::move(result), path, predicate);
    }

private:
    SearchSession& session_;
    std::weak_ptr<bool> alive_;
    std::uint64_t search_;
};

SearchSession::SearchSession(SearchSessionDelegate& delegate, MainQueue& mainQueue)
    : delegate_(delegate), mainQueue_(mainQueue) {}

SearchSession::~SearchSession() {
    cancel();
    alive_.reset();
}

void SearchSession::start(const std::shared_ptr<FileController>& controller, const Directory& file,
                          std::shared_ptr<const FilePredicate> predicate) {
    cancel();
    controller->pauseUpdates();
    paused_ = controller;
    searching_ = true;
    searchedPath_ = file.relativePath();
    auto receiver = std::make_shared<Receiver>(*this, alive_, ++search_);
    queue_.add(std::make_shared<SearchOperation>(file, controller->absolutePath(file),
                                                 std::move(predicate), std::move(receiver),
                                                 mainQueue_));
}

void SearchSession::cancel() {
    ++search_;
    queue_.cancelAllOperations();
    // The tree may change again only once the running search has stopped reading it.
    queue_.waitUntilAllOperationsAreFinished();
    searching_ = false;
    if (auto controller = paused_.lock()) controller->resumeUpdates();
    paused_.reset();
}

void SearchSession::finish(std::uint64_t search, FilePtr result, const std::string& /*path*/,
                           const std::shared_ptr<const FilePredicate>& predicate) {
    if (search != search_) return; // a search that was replaced meanwhile
    searching_ = false;
    auto controller = paused_.lock();
    paused_.reset();
    if (result) result->setPath(searchedPath_);
    delegate_.searchSessionDidFinish(std::move(result), predicate);
    if (controller) controller->resumeUpdates();
}

} // namespace tessera
