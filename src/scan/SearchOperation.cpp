#include "scan/SearchOperation.h"

#include "model/Directory.h"
#include "model/FilePredicate.h"
#include "platform/MainQueue.h"

namespace tessera {

SearchOperation::SearchOperation(const Directory& file, std::string path,
                                 std::shared_ptr<const FilePredicate> predicate,
                                 std::shared_ptr<SearchOperationDelegate> delegate,
                                 MainQueue& mainQueue)
    : file_(file), path_(std::move(path)), predicate_(std::move(predicate)),
      delegate_(std::move(delegate)), mainQueue_(mainQueue) {}

void SearchOperation::main() {
    FilePtr result = file_.filteredForSearch(*predicate_, cancellationFlag());
    if (isCancelled()) return;
    auto delivered = std::make_shared<FilePtr>(std::move(result));
    mainQueue_.post([delegate = delegate_, delivered, path = path_, predicate = predicate_] {
        delegate->searchOperationDidFinish(std::move(*delivered), path, predicate);
    });
}

} // namespace tessera
