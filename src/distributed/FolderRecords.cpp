#include "distributed/FolderRecords.h"

#include <cstring>

namespace tessera::distributed {

std::string_view ByteReader::take(std::size_t size) {
    if (size > bytes_.size() - at_) throw RecordError("a record ends too soon");
    const std::string_view taken = bytes_.substr(at_, size);
    at_ += size;
    return taken;
}

void encodeUnits(const std::vector<FolderUnit>& units, std::string& out) {
    ByteWriter writer(out);
    writer.u32(static_cast<std::uint32_t>(units.size()));
    for (const FolderUnit& unit : units) {
        writer.u64(unit.id);
        writer.u64(unit.device);
        writer.text(unit.path);
    }
}

std::vector<FolderUnit> decodeUnits(std::string_view bytes) {
    ByteReader reader(bytes);
    const std::uint32_t count = reader.u32();
    std::vector<FolderUnit> units;
    // Each unit takes at least 20 bytes: a count beyond that is a fault, not a reason to
    // reserve gigabytes.
    if (count > bytes.size() / 20) throw RecordError("a list of folders claims too many");
    units.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        FolderUnit unit;
        unit.id = reader.u64();
        unit.device = reader.u64();
        unit.path = std::string(reader.text());
        units.push_back(std::move(unit));
    }
    if (!reader.atEnd()) throw RecordError("a list of folders has bytes after its end");
    return units;
}

void FolderRecordWriter::begin(std::uint64_t id) {
    ByteWriter writer(out_);
    writer.byte(static_cast<std::uint8_t>(RecordKind::folder));
    writer.u64(id);
    countAt_ = out_.size();
    writer.u32(0);
    count_ = 0;
}

void FolderRecordWriter::add(const RecordEntry& entry) {
    ByteWriter writer(out_);
    writer.byte(entry.isFolder ? 1 : 0);
    writer.text(entry.name);
    writer.i64(entry.creationDate.seconds);
    writer.i64(entry.modificationDate.seconds);
    if (entry.isFolder) {
        writer.u64(entry.folderId);
    } else {
        writer.i64(entry.size);
        writer.i64(entry.allocatedSize);
    }
    ++count_;
}

void FolderRecordWriter::end() {
    std::memcpy(out_.data() + countAt_, &count_, sizeof count_);
}

void writeErrorRecord(std::string& out, std::string_view path, int errorNumber) {
    ByteWriter writer(out);
    writer.byte(static_cast<std::uint8_t>(RecordKind::error));
    writer.text(path);
    writer.i64(errorNumber);
}

void writeLinkRecord(std::string& out, std::uint64_t folderId, std::uint32_t index,
                     std::uint64_t device, std::uint64_t inode) {
    ByteWriter writer(out);
    writer.byte(static_cast<std::uint8_t>(RecordKind::link));
    writer.u64(folderId);
    writer.u32(index);
    writer.u64(device);
    writer.u64(inode);
}

} // namespace tessera::distributed
