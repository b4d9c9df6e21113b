#include "snapshot/JsonSource.h"

#include <algorithm>
#include <cstring>

namespace tessera {

JsonSource::JsonSource(std::string_view data)
    : begin_(data.data()), end_(data.data() + data.size()) {}

JsonSource::JsonSource(std::FILE* file, std::size_t alreadyRead, std::size_t pieceSize)
    : file_(file), buffer_(pieceSize), pieceSize_(pieceSize), begin_(buffer_.data()),
      end_(buffer_.data()), consumed_(alreadyRead) {}

bool JsonSource::refill(const char*& keep, const char*& cursor) {
    if (file_ == nullptr || std::feof(file_) || std::ferror(file_)) return false;
    const auto kept = static_cast<std::size_t>(end_ - keep);
    if (kept > kLongestToken) {
        tokenTooLong_ = true;
        return false;
    }
    const auto cursorOffset = static_cast<std::size_t>(cursor - keep);
    consumed_ += static_cast<std::size_t>(keep - begin_);
    std::memmove(buffer_.data(), keep, kept);
    // A token longer than a piece doubles the buffer, so that moving it along stays linear.
    if (buffer_.size() - kept < pieceSize_)
        buffer_.resize(std::max(kept + pieceSize_, 2 * buffer_.size()));
    const std::size_t got = std::fread(buffer_.data() + kept, 1, buffer_.size() - kept, file_);
    begin_ = buffer_.data();
    end_ = begin_ + kept + got;
    keep = begin_;
    cursor = begin_ + cursorOffset;
    return got > 0;
}

} // namespace tessera
