// The nodes of a tree being read, made on a thread of their own while the reader goes on
// parsing: the reader hands over each entry it finished (a file, or the start or the end of a
// folder) in batches, and the assembly makes the nodes and gives each folder its children. Making
// the nodes (the node store's fresh pages, the folders' sums) is about a third of reading a JSON
// snapshot, and it no longer waits for the parse, nor the parse for it.
#pragma once

#include "base/Date.h"
#include "model/File.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <expected>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace tessera {

class NodeAssembly {
public:
    /// Where making a node failed: what, and the offset in the input of the entry's end.
    struct Failure {
        std::string problem;
        std::size_t offset = 0;
    };

    /// `concurrent`: the nodes are made on a thread of their own; else on the caller's, a
    /// batch at a time (exceptions then come out of the call that filled the batch).
    explicit NodeAssembly(bool concurrent = true);
    /// Stops the thread; the nodes made and not taken by finish() are freed.
    ~NodeAssembly();
    NodeAssembly(const NodeAssembly&) = delete;
    NodeAssembly& operator=(const NodeAssembly&) = delete;

    /// A file whose entry ends at `offset` of the input.
    void addFile(std::string_view name, std::int64_t size, std::int64_t allocatedSize, Date created,
                 Date modified, std::size_t offset);
    /// A folder whose entries follow, up to endFolder().
    void beginFolder();
    void endFolder(std::string_view name, Date created, Date modified, std::size_t offset);

    /// Whether making a node failed: the reader may stop, finish() says where.
    bool failed() const { return failed_.load(std::memory_order_relaxed); }

    /// Waits until every entry handed over has its node: the tree whose root was the last
    /// entry closed at the top (none when no entry was), or the first failure in the input's
    /// order. An exception thrown while nodes were made (the store exhausted) is thrown here.
    std::expected<FilePtr, Failure> finish();

private:
    enum class Tag : char { file, folderBegins, folderEnds };
    using Batch = std::vector<char>;
    static constexpr std::size_t kBatchBytes = 256 * 1024;
    static constexpr std::size_t kBatchesInFlight = 8;

    void append(Tag tag, std::string_view name, std::int64_t size, std::int64_t allocatedSize,
                Date created, Date modified, std::size_t offset);
    /// Hands the filling batch over (or makes its nodes, when not concurrent).
    void send();
    void work();
    void make(const Batch& batch);
    void place(FilePtr node);
    void fail(std::string problem, std::size_t offset);

    // The reader's side.
    Batch filling_;
    bool concurrent_;
    bool finished_ = false;

    // Between the two.
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Batch> queued_; // in order
    std::vector<Batch> spare_;  // emptied, for reuse
    std::size_t inFlight_ = 0;  // queued or being made
    bool closing_ = false;      // no batch comes after the queued ones
    std::atomic<bool> failed_{false};

    // The maker's side.
    std::vector<std::vector<FilePtr>> open_; // the children of each open folder, outermost first
    std::size_t depth_ = 0;                  // open folders (open_ keeps its vectors)
    FilePtr root_;
    Failure failure_;
    std::exception_ptr thrown_;

    std::thread thread_;
};

} // namespace tessera
