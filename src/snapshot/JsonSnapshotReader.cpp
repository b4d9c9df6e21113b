#include "snapshot/JsonSnapshotReader.h"

#include "model/Directory.h"
#include "model/Iso8601.h"
#include "snapshot/StoredName.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>
#include <rapidjson/error/en.h>
#include <rapidjson/reader.h>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tessera {
namespace {

// 2001-01-01T00:00:00Z in Unix seconds.
constexpr double kReferenceDate = 978'307'200.0;

constexpr unsigned kParseFlags =
    rapidjson::kParseIterativeFlag | rapidjson::kParseValidateEncodingFlag;

// The reader's input: bytes in memory, or a file read in pieces. Pretty-printed snapshots are
// mostly indentation, so whitespace is skipped 16 bytes at a time (the reader finds this through
// argument-dependent lookup of SkipWhitespace, below).
class JsonInput {
public:
    using Ch = char;

    explicit JsonInput(std::string_view data)
        : begin_(data.data()), current_(begin_), end_(begin_ + data.size()) {}
    JsonInput(std::FILE* file, std::size_t alreadyRead)
        : file_(file), buffer_(1 << 16), consumed_(alreadyRead) {
        refill();
    }

    Ch Peek() const { return current_ < end_ ? *current_ : '\0'; }
    Ch Take() {
        if (current_ == end_) return '\0';
        const Ch c = *current_++;
        if (current_ == end_) refill();
        return c;
    }
    std::size_t Tell() const { return consumed_ + static_cast<std::size_t>(current_ - begin_); }
    /// Whether every byte was taken (a file's pieces are fetched as soon as one runs out).
    bool atEnd() const { return current_ == end_; }
    bool failed() const { return file_ != nullptr && std::ferror(file_); }

    void skipWhitespace() {
        for (;;) {
            current_ = firstNonSpace(current_, end_);
            if (current_ < end_ || file_ == nullptr) return;
            refill();
            if (current_ == end_) return;
        }
    }

    // Writing is for parsing in place, which this reader does not do.
    Ch* PutBegin() { return nullptr; }
    void Put(Ch) {}
    void Flush() {}
    std::size_t PutEnd(Ch*) { return 0; }

private:
    static bool isSpace(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }

    static const char* firstNonSpace(const char* p, const char* end) {
#if defined(__SSE2__)
        const __m128i space = _mm_set1_epi8(' ');
        const __m128i newline = _mm_set1_epi8('\n');
        const __m128i ret = _mm_set1_epi8('\r');
        const __m128i tab = _mm_set1_epi8('\t');
        for (; end - p >= 16; p += 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
            const __m128i spaces = _mm_or_si128(
                _mm_or_si128(_mm_cmpeq_epi8(bytes, space), _mm_cmpeq_epi8(bytes, newline)),
                _mm_or_si128(_mm_cmpeq_epi8(bytes, ret), _mm_cmpeq_epi8(bytes, tab)));
            const auto others = static_cast<unsigned>(~_mm_movemask_epi8(spaces)) & 0xFFFFu;
            if (others != 0) return p + __builtin_ctz(others);
        }
#endif
        while (p < end && isSpace(*p))
            ++p;
        return p;
    }

    void refill() {
        if (file_ == nullptr) return;
        consumed_ += static_cast<std::size_t>(end_ - begin_);
        const std::size_t got = std::fread(buffer_.data(), 1, buffer_.size(), file_);
        begin_ = current_ = buffer_.data();
        end_ = begin_ + got;
    }

    std::FILE* file_ = nullptr;
    std::vector<char> buffer_;
    const char* begin_ = nullptr;
    const char* current_ = nullptr;
    const char* end_ = nullptr;
    std::size_t consumed_ = 0; // bytes of the file before the buffer
};

void SkipWhitespace(JsonInput& input) {
    input.skipWhitespace();
}

// Builds the tree from parse events. Each handler returns false to stop the parse, after
// noting why in `problem_`.
class TreeBuilder : public rapidjson::BaseReaderHandler<rapidjson::UTF8<>, TreeBuilder> {
public:
    bool StartObject() {
        if (skipping_ > 0) return ++skipping_, true;
        if (contexts_.empty()) {
            contexts_.push_back(Context::top);
            return true;
        }
        if (expected_ == Slot::rootFile || contexts_.back() == Context::contents) {
            expected_ = Slot::none;
            contexts_.push_back(Context::node);
            nodes_.emplace_back();
            return true;
        }
        return skipOrFail("an object");
    }

    bool EndObject(rapidjson::SizeType) {
        if (skipping_ > 0) return --skipping_, true;
        const Context closed = contexts_.back();
        contexts_.pop_back();
        if (closed == Context::top) {
            if (!sawVersion_) return fail("there is no \"version\"");
            if (!root_) return fail("there is no \"rootFile\"");
            return true;
        }
        auto node = finishNode(nodes_.back());
        nodes_.pop_back();
        if (!node) return false;
        if (contexts_.back() == Context::top)
            root_ = std::move(node);
        else
            nodes_.back().children.push_back(std::move(node));
        return true;
    }

    bool StartArray() {
        if (skipping_ > 0) return ++skipping_, true;
        if (expected_ == Slot::contents) {
            expected_ = Slot::none;
            nodes_.back().isDirectory = true;
            contexts_.push_back(Context::contents);
            return true;
        }
        return skipOrFail("an array");
    }

    bool EndArray(rapidjson::SizeType) {
        if (skipping_ > 0) return --skipping_, true;
        contexts_.pop_back();
        return true;
    }

    bool Key(const char* text, rapidjson::SizeType length, bool) {
        if (skipping_ > 0) return true;
        const std::string_view key(text, length);
        if (contexts_.back() == Context::top) {
            expected_ = key == "version"    ? Slot::version
                        : key == "rootFile" ? Slot::rootFile
                                            : Slot::ignored;
            return true;
        }
        if (key == "name")
            expected_ = Slot::name;
        else if (key == "size")
            expected_ = Slot::size;
        else if (key == "allocatedSize")
            expected_ = Slot::allocatedSize;
        else if (key == "creationDate")
            expected_ = Slot::creationDate;
        else if (key == "modificationDate")
            expected_ = Slot::modificationDate;
        else if (key == "contents")
            expected_ = Slot::contents;
        else
            expected_ = Slot::ignored;
        return true;
    }

    bool String(const char* text, rapidjson::SizeType length, bool) {
        if (skipping_ > 0) return true;
        const std::string_view value(text, length);
        const Slot slot = take();
        if (slot == Slot::ignored) return true;
        if (slot == Slot::name) {
            auto bytes = fromStoredName(value);
            if (!bytes) return fail("a name with a broken byte escape");
            nodes_.back().name = std::move(*bytes);
            return true;
        }
        if (slot == Slot::creationDate || slot == Slot::modificationDate) {
            if (!settleDateForm(DateForm::iso8601)) return false;
            const auto date = parseIso8601(value);
            if (!date) return fail("a date that is not ISO 8601");
            return storeDate(slot, *date);
        }
        return misplaced("a text", slot);
    }

    bool Int(int value) { return integer(value); }
    bool Uint(unsigned value) { return integer(value); }
    bool Int64(std::int64_t value) { return integer(value); }
    bool Uint64(std::uint64_t value) {
        if (value > static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
            return number(static_cast<double>(value), "a number beyond 64 bits");
        return integer(static_cast<std::int64_t>(value));
    }
    bool Double(double value) { return number(value, "a number that is not a whole one"); }
    bool Null() { return scalar("null"); }
    bool Bool(bool) { return scalar("true or false"); }

    /// The finished tree, once the parse succeeded.
    FilePtr takeRoot() { return std::move(root_); }
    const std::string& problem() const { return problem_; }

private:
    enum class Context { top, node, contents };
    enum class Slot {
        none,
        ignored,
        version,
        rootFile,
        name,
        size,
        allocatedSize,
        creationDate,
        modificationDate,
        contents
    };
    enum class DateForm { unknown, iso8601, referenceSeconds };

    // A node whose members are being read; a folder also collects its children.
    struct Node {
        std::vector<FilePtr> children;
        std::string name = "?";
        std::int64_t size = 0;
        std::int64_t allocatedSize = 0;
        Date created;
        Date modified;
        bool isDirectory = false;
    };

    bool fail(std::string what) {
        problem_ = std::move(what);
        return false;
    }
    // The slot the value now read fills; none for an element of a folder's contents or the
    // document itself, where only objects belong.
    Slot take() {
        const Slot slot = expected_;
        expected_ = Slot::none;
        return slot;
    }
    bool misplaced(const char* what, Slot slot) {
        const char* wanted = "a node";
        switch (slot) {
        case Slot::version:
            wanted = "the version number";
            break;
        case Slot::name:
            wanted = "a name";
            break;
        case Slot::size:
        case Slot::allocatedSize:
            wanted = "a size";
            break;
        case Slot::creationDate:
        case Slot::modificationDate:
            wanted = "a date";
            break;
        case Slot::contents:
            wanted = "the array of contents";
            break;
        case Slot::none:
            if (contexts_.empty()) wanted = "the snapshot's object";
            break;
        case Slot::rootFile:
        case Slot::ignored:
            break;
        }
        return fail(std::string(what) + " where " + wanted + " belongs");
    }
    // An object or array where the format has none: kept out of the tree when its key is
    // unknown, otherwise the document is damaged.
    bool skipOrFail(const char* what) {
        const Slot slot = take();
        if (slot != Slot::ignored) return misplaced(what, slot);
        skipping_ = 1;
        return true;
    }
    bool scalar(const char* what) {
        if (skipping_ > 0) return true;
        const Slot slot = take();
        if (slot == Slot::ignored) return true;
        return misplaced(what, slot);
    }

    bool integer(std::int64_t value) {
        if (skipping_ > 0) return true;
        const Slot slot = take();
        switch (slot) {
        case Slot::ignored:
            return true;
        case Slot::version:
            sawVersion_ = true;
            return true;
        case Slot::size:
            nodes_.back().size = value;
            return true;
        case Slot::allocatedSize:
            nodes_.back().allocatedSize = value;
            return true;
        case Slot::creationDate:
        case Slot::modificationDate:
            return secondsDate(slot, static_cast<double>(value));
        default:
            return misplaced("a number", slot);
        }
    }
    // A number that is not an integer in the 64-bit range: only dates in seconds may be one.
    bool number(double value, const char* what) {
        if (skipping_ > 0) return true;
        const Slot slot = take();
        if (slot == Slot::ignored) return true;
        if (slot == Slot::creationDate || slot == Slot::modificationDate)
            return secondsDate(slot, value);
        return misplaced(what, slot);
    }

    bool settleDateForm(DateForm form) {
        if (dateForm_ == DateForm::unknown) dateForm_ = form;
        if (dateForm_ == form) return true;
        return fail("dates written both as texts and as numbers");
    }
    bool secondsDate(Slot slot, double seconds) {
        if (!settleDateForm(DateForm::referenceSeconds)) return false;
        const double unix = std::floor(seconds + kReferenceDate);
        if (!std::isfinite(unix) || unix < -9.2e18 || unix > 9.2e18)
            return fail("a date out of range");
        return storeDate(slot, Date::fromUnixSeconds(static_cast<std::int64_t>(unix)));
    }
    bool storeDate(Slot slot, Date date) {
        (slot == Slot::creationDate ? nodes_.back().created : nodes_.back().modified) = date;
        return true;
    }

    FilePtr finishNode(Node& node) {
        try {
            if (!node.isDirectory)
                return File::create(node.name, node.size, node.allocatedSize, node.created,
                                    node.modified);
            DirectoryPtr directory = Directory::create(node.name, node.created, node.modified, {});
            directory->assignContents(std::move(node.children));
            if (!directory->tryAggregate()) {
                fail("sizes add up beyond the 64-bit range");
                return nullptr;
            }
            return FilePtr(std::move(directory));
        } catch (const std::length_error& error) {
            fail(error.what());
            return nullptr;
        }
    }

    std::vector<Context> contexts_;
    std::vector<Node> nodes_;
    Slot expected_ = Slot::none;
    int skipping_ = 0; // depth inside a value of an unknown key
    DateForm dateForm_ = DateForm::unknown;
    bool sawVersion_ = false;
    FilePtr root_;
    std::string problem_;
};

std::expected<FilePtr, std::string> parse(JsonInput& input) {
    TreeBuilder builder;
    rapidjson::Reader reader;
    const rapidjson::ParseResult result = reader.Parse<kParseFlags>(input, builder);
    if (input.failed()) return std::unexpected(std::strerror(errno));
    const auto damaged = [](std::size_t byte, const std::string& what) {
        return std::unexpected("The snapshot is damaged (byte " + std::to_string(byte) +
                               "): " + what + ".");
    };
    if (result.IsError()) {
        std::string what = builder.problem();
        if (what.empty()) {
            what = rapidjson::GetParseError_En(result.Code());
            if (what.ends_with('.')) what.pop_back();
            if (!what.empty()) what[0] = static_cast<char>(std::tolower(what[0]));
        }
        return damaged(result.Offset(), what);
    }
    // The reader takes a NUL byte for the end: whatever follows one is not JSON either.
    if (!input.atEnd()) return damaged(input.Tell(), "bytes after the snapshot's object");
    return builder.takeRoot();
}

} // namespace

std::expected<FilePtr, std::string> readJsonSnapshot(std::string_view data) {
    JsonInput input(data);
    return parse(input);
}

std::expected<FilePtr, std::string> readJsonSnapshot(std::FILE* file, std::size_t alreadyRead) {
    JsonInput input(file, alreadyRead);
    return parse(input);
}

} // namespace tessera
