// A search: a filtered copy of a tree (matching files inside copies of the folders that lead to
// them, sums recomputed), built on a background queue and handed to the main thread. The source
// tree is only read; its controller holds live updates back meanwhile.
#pragma once

#include "model/File.h"
#include "platform/OperationQueue.h"

#include <memory>
#include <string>

namespace tessera {

class Directory;
class FilePredicate;
class MainQueue;

class SearchOperationDelegate {
public:
    virtual ~SearchOperationDelegate() = default;
    /// On the main thread; `result` is none when nothing matched.
    virtual void
    searchOperationDidFinish(FilePtr result, const std::string& path,
                             const std::shared_ptr<const FilePredicate>& predicate) = 0;
};

class SearchOperation final : public Operation {
public:
    /// `file` must stay unchanged until the operation has run (the controller pauses updates).
    SearchOperation(const Directory& file, std::string path,
                    std::shared_ptr<const FilePredicate> predicate,
                    std::shared_ptr<SearchOperationDelegate> delegate, MainQueue& mainQueue);

    void main() override;

private:
    const Directory& file_;
    std::string path_;
    std::shared_ptr<const FilePredicate> predicate_;
    std::shared_ptr<SearchOperationDelegate> delegate_;
    MainQueue& mainQueue_;
};

} // namespace tessera
