#include "snapshot/JsonEventReader.h"

#include <cstdio>
#include <gtest/gtest.h>
#include <memory>
#include <string>

namespace tessera {
namespace {

// Writes the events down in a compact form: containers as brackets, "k:" before keys, "s:" texts,
// "i:" integers, "d:" other numbers ("w:" whole ones), literals as themselves.
struct Recorder {
    std::string events;
    bool startObject() { return add("{"); }
    bool endObject() { return add("}"); }
    bool startArray() { return add("["); }
    bool endArray() { return add("]"); }
    bool key(std::string_view text) { return add("k:" + std::string(text)); }
    bool string(std::string_view text) { return add("s:" + std::string(text)); }
    bool integer(std::int64_t value) { return add("i:" + std::to_string(value)); }
    bool number(double value, bool whole) {
        char shown[32];
        std::snprintf(shown, sizeof shown, "%s%g", whole ? "w:" : "d:", value);
        return add(shown);
    }
    bool boolean(bool value) { return add(value ? "true" : "false"); }
    bool null() { return add("null"); }
    bool add(const std::string& event) {
        if (!events.empty()) events += ' ';
        events += event;
        return true;
    }
};

struct Outcome {
    bool ok = false;
    std::string events; // or the error
    std::size_t offset = 0;
};

Outcome readText(std::string_view data) {
    JsonSource source(data);
    Recorder recorder;
    JsonEventReader reader(source, recorder);
    const bool ok = reader.read();
    return {ok, ok ? recorder.events : reader.error(), reader.errorOffset()};
}

// The same through a file read `pieceSize` bytes at a time, so that every token crosses a piece's
// end somewhere.
Outcome readFile(std::string_view data, std::size_t pieceSize) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::tmpfile(), &std::fclose);
    std::fwrite(data.data(), 1, data.size(), file.get());
    std::rewind(file.get());
    JsonSource source(file.get(), 0, pieceSize);
    Recorder recorder;
    JsonEventReader reader(source, recorder);
    const bool ok = reader.read();
    return {ok, ok ? recorder.events : reader.error(), reader.errorOffset()};
}

TEST(JsonEventReaderTest, ReportsEveryKindOfValueInOrder) {
    const std::string document =
        " {\"a\" : [1, -2, 0, -0, 3.5, 1e3, -2E-2, 9223372036854775807, -9223372036854775808,\n"
        "  9223372036854775808, 1e-400], \"b\":{\"c\":\"x\\\"y\\\\z\\/\\n\\u00e9\\ud83d\\ude00\","
        " \"\":true,\"e\":false,\"f\":null,\"g\":{},\"h\":[]},\r\n\t\"caf\xC3\xA9\":\"\"} \n";
    const std::string expected =
        "{ k:a [ i:1 i:-2 i:0 i:0 d:3.5 d:1000 d:-0.02 i:9223372036854775807 "
        "i:-9223372036854775808 w:9.22337e+18 d:0 ] k:b { k:c s:x\"y\\z/\n\xC3\xA9\xF0\x9F\x98\x80 "
        "k: true k:e false k:f null k:g { } k:h [ ] } k:caf\xC3\xA9 s: }";
    const Outcome text = readText(document);
    ASSERT_TRUE(text.ok) << text.events;
    EXPECT_EQ(text.events, expected);
    for (std::size_t piece : {1, 2, 3, 7, 16, 17}) {
        const Outcome file = readFile(document, piece);
        ASSERT_TRUE(file.ok) << piece << ": " << file.events;
        EXPECT_EQ(file.events, expected) << piece;
    }
}

TEST(JsonEventReaderTest, TextsLongerThanAPieceAndAcrossPieces) {
    // A long text with escapes and multi-byte characters scattered through it, read in pieces
    // smaller than it: the buffer grows to hold it whole.
    std::string body;
    std::string expected;
    for (int i = 0; i < 5000; ++i) {
        body += i % 7 == 0 ? "\\u00e9" : i % 5 == 0 ? "\xC3\xA9" : i % 3 == 0 ? "\\n" : "abc";
        expected += i % 7 == 0 ? "\xC3\xA9" : i % 5 == 0 ? "\xC3\xA9" : i % 3 == 0 ? "\n" : "abc";
    }
    const std::string document = "[\"" + body + "\", \"" + std::string(40000, 'p') + "\"]";
    for (std::size_t piece : {5, 64, 4096}) {
        const Outcome file = readFile(document, piece);
        ASSERT_TRUE(file.ok) << file.events;
        EXPECT_EQ(file.events, "[ s:" + expected + " s:" + std::string(40000, 'p') + " ]");
    }
}

TEST(JsonEventReaderTest, RejectsWhatIsNotJsonAndSaysWhere) {
    struct Case {
        std::string document;
        std::size_t offset;
    };
    for (const Case& bad : std::initializer_list<Case>{
             {"", 0},
             {"  \n", 3},
             {"{", 1},
             {"{\"a\" 1}", 5},
             {"{\"a\": }", 6},
             {"{\"a\": 1,}", 8},
             {"{,}", 1},
             {"{1: 2}", 1},
             {"[1,]", 3},
             {"[1 2]", 3},
             {"[1}", 2},
             {"{\"a\": 1]", 7},
             {"[01]", 2},
             {"[1.]", 3},
             {"[.5]", 1},
             {"[-]", 2},
             {"[+1]", 1},
             {"[1e]", 3},
             {"[1e+]", 4},
             {"[1.5.2]", 4},
             {"[1e999]", 6},
             {"[tru]", 1},
             {"[nul", 1},
             {"[True]", 1},
             {"[\"a]", 4},
             {"[\"a\tb\"]", 3},
             {"[\"a\\q\"]", 6},
             {"[\"\\u12\"]", 7},
             {"[\"\\ud800\"]", 9},
             {"[\"\\udc00x\"]", 10},
             {"[\"\xff\"]", 4},
             {"[\"\xED\xA0\x80\"]", 6},
             {"[\"\xC0\xAF\"]", 5},
             {"[1] [2]", 4},
             {"[1] x", 4},
             {std::string("[1]\0", 4), 3},
             {std::string("[\"a\0b\"]", 7), 3},
             {"[\"\\", 2},
         }) {
        const Outcome text = readText(bad.document);
        EXPECT_FALSE(text.ok) << bad.document;
        EXPECT_FALSE(text.events.empty()) << bad.document;
        EXPECT_EQ(text.offset, bad.offset) << bad.document << ": " << text.events;
        const Outcome file = readFile(bad.document, 2);
        EXPECT_FALSE(file.ok) << bad.document;
        EXPECT_EQ(file.events, text.events) << bad.document;
        EXPECT_EQ(file.offset, text.offset) << bad.document;
    }
}

TEST(JsonEventReaderTest, AHandlerStopsTheReadingWhereItSaysNo) {
    struct StopAtKeyB : Recorder {
        bool key(std::string_view text) { return text != "b" && Recorder::key(text); }
    } handler;
    const std::string document = "{\"a\": 1, \"b\": 2, \"c\": 3}";
    JsonSource source(document);
    JsonEventReader reader(source, handler);
    EXPECT_FALSE(reader.read());
    EXPECT_TRUE(reader.error().empty());
    EXPECT_EQ(reader.errorOffset(), 12u); // just after "b"
    EXPECT_EQ(handler.events, "{ k:a i:1");
}

TEST(JsonEventReaderTest, NestingIsLimitedOnlyByMemory) {
    constexpr int kDepth = 200'000;
    const std::string document = std::string(kDepth, '[') + std::string(kDepth, ']');
    struct Depth {
        int now = 0, deepest = 0;
        bool startObject() { return false; }
        bool endObject() { return false; }
        bool startArray() { return deepest = std::max(deepest, ++now), true; }
        bool endArray() { return --now, true; }
        bool key(std::string_view) { return false; }
        bool string(std::string_view) { return false; }
        bool integer(std::int64_t) { return false; }
        bool number(double, bool) { return false; }
        bool boolean(bool) { return false; }
        bool null() { return false; }
    } depth;
    JsonSource source(document);
    JsonEventReader reader(source, depth);
    EXPECT_TRUE(reader.read()) << reader.error();
    EXPECT_EQ(depth.deepest, kDepth);
    EXPECT_EQ(depth.now, 0);
}

} // namespace
} // namespace tessera
