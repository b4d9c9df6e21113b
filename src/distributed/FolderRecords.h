// What the processes of a distributed scan send each other: folders waiting to be listed, and
// the records of folders listed, in a compact byte form that only this program reads.
//
// A record holds one folder's entries in the order the kernel listed them. Each subfolder
// carries the number of the record that lists it, wherever that is written, so the records can
// arrive in any order and any grouping and still make one tree.
#pragma once

#include "base/Date.h"

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tessera::distributed {

/// Bytes that do not decode: a fault of the sender, never of the file system.
class RecordError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// Appends numbers and byte strings to a buffer.
class ByteWriter {
public:
    explicit ByteWriter(std::string& out) : out_(out) {}
    void byte(std::uint8_t value) { out_.push_back(static_cast<char>(value)); }
    void u32(std::uint32_t value) { raw(&value, sizeof value); }
    void u64(std::uint64_t value) { raw(&value, sizeof value); }
    void i64(std::int64_t value) { raw(&value, sizeof value); }
    void text(std::string_view value) {
        u32(static_cast<std::uint32_t>(value.size()));
        out_.append(value);
    }

private:
    void raw(const void* data, std::size_t size) {
        out_.append(static_cast<const char*>(data), size);
    }
    std::string& out_;
};

/// Reads what ByteWriter wrote; throws RecordError past the end.
class ByteReader {
public:
    explicit ByteReader(std::string_view bytes) : bytes_(bytes) {}
    bool atEnd() const { return at_ == bytes_.size(); }
    std::size_t offset() const { return at_; }
    std::uint8_t byte() { return static_cast<std::uint8_t>(take(1).front()); }
    std::uint32_t u32() { return number<std::uint32_t>(); }
    std::uint64_t u64() { return number<std::uint64_t>(); }
    std::int64_t i64() { return number<std::int64_t>(); }
    std::string_view text() { return take(u32()); }

private:
    std::string_view take(std::size_t size);
    template <typename T> T number() {
        T value;
        const std::string_view bytes = take(sizeof value);
        __builtin_memcpy(&value, bytes.data(), sizeof value);
        return value;
    }
    std::string_view bytes_;
    std::size_t at_ = 0;
};

/// A folder waiting to be listed: its record's number, the file system it is on, and its
/// absolute path.
struct FolderUnit {
    std::uint64_t id = 0;
    std::uint64_t device = 0;
    std::string path;
};

void encodeUnits(const std::vector<FolderUnit>& units, std::string& out);
std::vector<FolderUnit> decodeUnits(std::string_view bytes);

/// The kinds of items in a stream of records.
enum class RecordKind : std::uint8_t {
    folder = 'F', // number, entry count, entries
    error = 'E',  // path, errno value: an entry or folder that could not be read
    link = 'L',   // folder number, entry index, device, inode: a file with several names
};

/// One entry of a folder record: a file with its sizes, or a subfolder with its record's number.
struct RecordEntry {
    std::string_view name;
    bool isFolder = false;
    Date creationDate;
    Date modificationDate;
    std::int64_t size = 0; // files only
    std::int64_t allocatedSize = 0;
    std::uint64_t folderId = 0; // folders only
};

/// Writes one folder's record: begin it, add its entries, end it.
class FolderRecordWriter {
public:
    explicit FolderRecordWriter(std::string& out) : out_(out) {}
    void begin(std::uint64_t id);
    void add(const RecordEntry& entry);
    void end();

private:
    std::string& out_;
    std::size_t countAt_ = 0;
    std::uint32_t count_ = 0;
};

void writeErrorRecord(std::string& out, std::string_view path, int errorNumber);
/// The entry at `index` of the folder `folderId` is a file with several names.
void writeLinkRecord(std::string& out, std::uint64_t folderId, std::uint32_t index,
                     std::uint64_t device, std::uint64_t inode);

} // namespace tessera::distributed
