#include "snapshot/JsonSnapshotReader.h"

#include "model/Directory.h"
#include "model/Iso8601.h"
#include "snapshot/StoredName.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <simdjson.h>
#include <vector>

namespace tessera {
namespace {

namespace od = simdjson::ondemand;

// 2001-01-01T00:00:00Z in Unix seconds.
constexpr double kReferenceDate = 978'307'200.0;

std::unexpected<JsonSnapshotFailure> failure(simdjson::error_code code, std::string_view where) {
    return std::unexpected(JsonSnapshotFailure{
        code == simdjson::INCORRECT_TYPE || code == simdjson::NUMBER_OUT_OF_RANGE,
        std::string(where) + ": " + simdjson::error_message(code)});
}

std::unexpected<JsonSnapshotFailure> failure(std::string description) {
    return std::unexpected(JsonSnapshotFailure{false, std::move(description)});
}

// A node whose members are being read; a directory also collects its children.
struct Frame {
    od::object_iterator field;
    od::object_iterator fieldsEnd;
    od::array_iterator child;
    od::array_iterator childrenEnd;
    bool inContents = false;
    bool childOpen = false;
    bool isDirectory = false;
    std::vector<FilePtr> children;
    std::string name = "?";
    std::int64_t size = 0;
    std::int64_t allocatedSize = 0;
    Date created;
    Date modified;
};

std::expected<Date, JsonSnapshotFailure> readDate(od::value value, SnapshotDateForm form,
                                                  std::string_view key) {
    if (form == SnapshotDateForm::iso8601) {
        std::string_view text;
        if (auto code = value.get_string().get(text)) return failure(code, key);
        const auto date = parseIso8601(text);
        if (!date) return failure(std::string(key) + ": not an ISO 8601 date");
        return *date;
    }
    double seconds = 0;
    if (auto code = value.get_double().get(seconds)) return failure(code, key);
    const double unix = std::floor(seconds + kReferenceDate);
    if (!std::isfinite(unix) || unix < -9.2e18 || unix > 9.2e18)
        return failure(std::string(key) + ": date out of range");
    return Date::fromUnixSeconds(static_cast<std::int64_t>(unix));
}

std::expected<Frame, JsonSnapshotFailure> openNode(od::value value) {
    od::object object;
    if (auto code = value.get_object().get(object)) return failure(code, "node");
    Frame frame;
    if (auto code = object.begin().get(frame.field)) return failure(code, "node");
    if (auto code = object.end().get(frame.fieldsEnd)) return failure(code, "node");
    return frame;
}

std::expected<FilePtr, JsonSnapshotFailure> finishNode(Frame& frame) {
    try {
        if (!frame.isDirectory)
            return File::create(frame.name, frame.size, frame.allocatedSize, frame.created,
                                frame.modified);
        DirectoryPtr directory = Directory::create(frame.name, frame.created, frame.modified, {});
        directory->assignContents(std::move(frame.children));
        if (!directory->tryAggregate()) return failure("sizes add up beyond the 64-bit range");
        return FilePtr(std::move(directory));
    } catch (const std::length_error& error) {
        return failure(error.what());
    }
}

std::expected<FilePtr, JsonSnapshotFailure> readTree(od::value rootValue, SnapshotDateForm form) {
    std::vector<Frame> stack;
    auto first = openNode(rootValue);
    if (!first) return std::unexpected(first.error());
    stack.push_back(std::move(*first));
    FilePtr finished;
    while (!stack.empty()) {
        Frame& frame = stack.back();
        if (frame.inContents) {
            if (frame.childOpen) {
                ++frame.child;
                frame.childOpen = false;
            }
            if (frame.child != frame.childrenEnd) {
                od::value element;
                if (auto code = (*frame.child).get(element)) return failure(code, "contents");
                auto child = openNode(element);
                if (!child) return std::unexpected(child.error());
                frame.childOpen = true;
                stack.push_back(std::move(*child)); // `frame` is not used after this
                continue;
            }
            frame.inContents = false;
            ++frame.field;
            continue;
        }
        if (frame.field == frame.fieldsEnd) {
            auto node = finishNode(frame);
            if (!node) return std::unexpected(node.error());
            stack.pop_back();
            if (stack.empty())
                finished = std::move(*node);
            else
                stack.back().children.push_back(std::move(*node));
            continue;
        }
        od::field member;
        if (auto code = (*frame.field).get(member)) return failure(code, "member");
        // Keys are compared as they stand in the text; only a key with an escape in it (legal,
        // if unusual) is unescaped first.
        const od::raw_json_string raw = member.key();
        const char* rawText = raw.raw();
        const char* quote = std::strchr(rawText, '"');
        std::string_view unescaped;
        const bool escaped =
            quote == nullptr ||
            std::memchr(rawText, '\\', static_cast<std::size_t>(quote - rawText)) != nullptr;
        if (escaped) {
            if (auto code = member.unescaped_key().get(unescaped)) return failure(code, "key");
        }
        const auto is = [&](const char* name) {
            return escaped ? unescaped == name : raw.unsafe_is_equal(name);
        };
        od::value value = member.value();
        if (is("contents")) {
            od::array array;
            if (auto code = value.get_array().get(array)) return failure(code, "contents");
            if (auto code = array.begin().get(frame.child)) return failure(code, "contents");
            if (auto code = array.end().get(frame.childrenEnd)) return failure(code, "contents");
            frame.inContents = true;
            frame.isDirectory = true;
            continue;
        }
        if (is("name")) {
            std::string_view text;
            if (auto code = value.get_string().get(text)) return failure(code, "name");
            auto bytes = fromStoredName(text);
            if (!bytes) return failure("name: broken byte escape");
            frame.name = std::move(*bytes);
        } else if (is("size") || is("allocatedSize")) {
            const bool size = is("size");
            std::int64_t number = 0;
            if (auto code = value.get_int64().get(number))
                return failure(code, size ? "size" : "allocatedSize");
            (size ? frame.size : frame.allocatedSize) = number;
        } else if (is("creationDate") || is("modificationDate")) {
            const bool created = is("creationDate");
            auto date = readDate(value, form, created ? "creationDate" : "modificationDate");
            if (!date) return std::unexpected(date.error());
            (created ? frame.created : frame.modified) = *date;
        }
        ++frame.field;
    }
    return finished;
}

} // namespace

std::expected<FilePtr, JsonSnapshotFailure> readJsonSnapshot(const std::string& data,
                                                             SnapshotDateForm dates) {
    od::parser parser;
    // Nesting is bounded by the data, not by the parser's default of 1024 levels: every level of
    // a snapshot opens an array, so the brackets bound the depth.
    const auto brackets = static_cast<std::size_t>(std::count(data.begin(), data.end(), '['));
    if (auto code = parser.allocate(data.size(), 2 * brackets + 64)) return failure(code, "parser");
    od::document document;
    const simdjson::padded_string_view padded(data.data(), data.size(), data.capacity());
    if (auto code = parser.iterate(padded).get(document)) return failure(code, "document");
    od::object top;
    if (auto code = document.get_object().get(top)) return failure(code, "document");
    bool sawVersion = false;
    FilePtr root;
    for (auto result : top) {
        od::field member;
        if (auto code = std::move(result).get(member)) return failure(code, "document");
        std::string_view key;
        if (auto code = member.unescaped_key().get(key)) return failure(code, "document");
        if (key == "version") {
            std::int64_t version = 0;
            if (auto code = member.value().get_int64().get(version))
                return failure(code, "version");
            sawVersion = true;
        } else if (key == "rootFile") {
            auto tree = readTree(member.value(), dates);
            if (!tree) return std::unexpected(tree.error());
            root = std::move(*tree);
        }
    }
    if (!sawVersion) return failure("no \"version\"");
    if (!root) return failure("no \"rootFile\"");
    return root;
}

} // namespace tessera
