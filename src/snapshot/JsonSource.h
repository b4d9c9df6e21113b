// The bytes a streaming JSON reader works through: a text in memory, or a file read in pieces as
// the reader asks for them, so that a file of any size costs one piece of memory (or the longest
// token, if that is longer).
#pragma once

#include <cstddef>
#include <cstdio>
#include <string_view>
#include <vector>

namespace tessera {

class JsonSource {
public:
    static constexpr std::size_t kPieceSize = 256 * 1024;
    /// The longest token a snapshot can hold: a name of 65,535 bytes with every byte escaped
    /// (at most 6 characters each), with room to spare. Reading stops at a longer one, so that
    /// a hostile file cannot make the reader hold more than this.
    static constexpr std::size_t kLongestToken = 6 * 65535 + 1024;

    /// All of `data`, held by the caller for the reader's lifetime.
    explicit JsonSource(std::string_view data);
    /// `file` from its current position to its end; `alreadyRead` bytes were taken before, so
    /// offsets count from the file's start.
    JsonSource(std::FILE* file, std::size_t alreadyRead, std::size_t pieceSize = kPieceSize);

    /// The bytes held now.
    const char* begin() const { return begin_; }
    const char* end() const { return end_; }

    /// Fetches the next piece of the file. The bytes from `keep` on stay held (moved to the
    /// buffer's start, which grows when they fill it); `keep` and `cursor`, which is at or after
    /// it, follow them. False when nothing more came: the end of the input, a read error, or
    /// a token longer than kLongestToken.
    bool refill(const char*& keep, const char*& cursor);
    /// Whether reading stopped at a token longer than any snapshot can hold.
    bool tokenTooLong() const { return tokenTooLong_; }

    /// The offset in the input of `position`, which lies in the bytes held.
    std::size_t offsetOf(const char* position) const {
        return consumed_ + static_cast<std::size_t>(position - begin_);
    }
    /// Whether reading the file failed (errno says why).
    bool failed() const { return file_ != nullptr && std::ferror(file_) != 0; }

private:
    std::FILE* file_ = nullptr;
    std::vector<char> buffer_;
    std::size_t pieceSize_ = 0;
    const char* begin_ = nullptr;
    const char* end_ = nullptr;
    std::size_t consumed_ = 0; // input bytes before begin_
    bool tokenTooLong_ = false;
};

} // namespace tessera
