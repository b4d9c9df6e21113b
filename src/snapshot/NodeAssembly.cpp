#include "snapshot/NodeAssembly.h"

#include "model/Directory.h"

#include <cstring>
#include <stdexcept>

namespace tessera {

namespace {

// What follows an entry's tag (but a folder's start), then its name's bytes.
struct EntryHead {
    std::size_t offset;
    std::int64_t size;
    std::int64_t allocatedSize;
    std::int64_t created; // Unix seconds
    std::int64_t modified;
    std::size_t nameLength;
};

} // namespace

NodeAssembly::NodeAssembly(bool concurrent) : concurrent_(concurrent) {
    filling_.reserve(kBatchBytes + 1024);
    if (concurrent_) thread_ = std::thread([this] { work(); });
}

NodeAssembly::~NodeAssembly() {
    if (thread_.joinable()) {
        // Given up unfinished (the reading threw): what is queued is not made for nothing.
        failed_.store(true, std::memory_order_relaxed);
        {
            std::lock_guard lock(mutex_);
            closing_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
}

void NodeAssembly::addFile(std::string_view name, std::int64_t size, std::int64_t allocatedSize,
                           Date created, Date modified, std::size_t offset) {
    append(Tag::file, name, size, allocatedSize, created, modified, offset);
}

void NodeAssembly::beginFolder() {
    filling_.push_back(static_cast<char>(Tag::folderBegins));
}

void NodeAssembly::endFolder(std::string_view name, Date created, Date modified,
                             std::size_t offset) {
    append(Tag::folderEnds, name, 0, 0, created, modified, offset);
}

void NodeAssembly::append(Tag tag, std::string_view name, std::int64_t size,
                          std::int64_t allocatedSize, Date created, Date modified,
                          std::size_t offset) {
    const EntryHead head{offset,           size,       allocatedSize, created.seconds,
                         modified.seconds, name.size()};
    const std::size_t at = filling_.size();
    filling_.resize(at + 1 + sizeof head + name.size());
    filling_[at] = static_cast<char>(tag);
    std::memcpy(filling_.data() + at + 1, &head, sizeof head);
    if (!name.empty())
        std::memcpy(filling_.data() + at + 1 + sizeof head, name.data(), name.size());
    if (filling_.size() >= kBatchBytes) send();
}

void NodeAssembly::send() {
    if (filling_.empty()) return;
    if (!concurrent_) {
        if (!failed()) make(filling_);
        filling_.clear();
        return;
    }
    Batch next;
    {
        std::unique_lock lock(mutex_);
        // The reader waits while the maker is that far behind: what is read but not made stays
        // a few batches.
        changed_.wait(lock, [this] { return inFlight_ < kBatchesInFlight; });
        queued_.push_back(std::move(filling_));
        ++inFlight_;
        if (!spare_.empty()) {
            next = std::move(spare_.back());
            spare_.pop_back();
        }
    }
    changed_.notify_all();
    filling_ = std::move(next);
    filling_.clear();
    filling_.reserve(kBatchBytes + 1024);
}

void NodeAssembly::work() {
    for (;;) {
        Batch batch;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return !queued_.empty() || closing_; });
            if (queued_.empty()) return;
            batch = std::move(queued_.front());
            queued_.erase(queued_.begin());
        }
        if (!failed()) {
            try {
                make(batch);
            } catch (...) {
                thrown_ = std::current_exception();
                failed_.store(true, std::memory_order_relaxed);
            }
        }
        batch.clear();
        {
            std::lock_guard lock(mutex_);
            spare_.push_back(std::move(batch));
            --inFlight_;
        }
        changed_.notify_all();
    }
}

std::expected<FilePtr, NodeAssembly::Failure> NodeAssembly::finish() {
    if (!finished_) {
        finished_ = true;
        if (concurrent_) {
            send();
            {
                std::lock_guard lock(mutex_);
                closing_ = true;
            }
            changed_.notify_all();
            thread_.join();
        } else {
            send();
        }
    }
    if (thrown_) std::rethrow_exception(thrown_);
    if (failed()) return std::unexpected(failure_);
    return std::move(root_);
}

void NodeAssembly::make(const Batch& batch) {
    const char* p = batch.data();
    const char* const end = p + batch.size();
    while (p != end && !failed()) {
        const auto tag = static_cast<Tag>(*p++);
        if (tag == Tag::folderBegins) {
            if (depth_ == open_.size()) open_.emplace_back();
            ++depth_;
            continue;
        }
        EntryHead head;
        std::memcpy(&head, p, sizeof head);
        p += sizeof head;
        const std::size_t offset = head.offset;
        const std::string_view name(p, head.nameLength);
        p += head.nameLength;
        const Date created = Date::fromUnixSeconds(head.created);
        const Date modified = Date::fromUnixSeconds(head.modified);
        try {
            if (tag == Tag::file) {
                place(File::create(name, head.size, head.allocatedSize, created, modified));
                continue;
            }
            DirectoryPtr directory = Directory::create(name, created, modified, {});
            std::vector<FilePtr>& children = open_[depth_ - 1];
            directory->assignContents(std::move(children));
            children.clear();
            --depth_;
            if (!directory->tryAggregate()) {
                fail("sizes add up beyond the 64-bit range", offset);
                return;
            }
            place(FilePtr(std::move(directory)));
        } catch (const std::length_error& error) {
            fail(error.what(), offset);
        }
    }
}

void NodeAssembly::place(FilePtr node) {
    if (depth_ == 0)
        root_ = std::move(node);
    else
        open_[depth_ - 1].push_back(std::move(node));
}

void NodeAssembly::fail(std::string problem, std::size_t offset) {
    failure_ = {std::move(problem), offset};
    failed_.store(true, std::memory_order_relaxed);
}

} // namespace tessera
