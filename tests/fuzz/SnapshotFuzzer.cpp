// Fuzz target: any bytes given to the snapshot reader give a tree or a clear error, never a
// crash, a hang or a leak; and the streaming JSON reader accepts exactly the documents that
// simdjson accepts. It has libFuzzer's entry point; FuzzDriver.cpp replays the corpus (CI) and
// mutates it (tests/fuzz/fuzz.sh).
#include "snapshot/JsonEventReader.h"
#include "snapshot/Snapshot.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <simdjson.h>
#include <string>

namespace {

struct AcceptEverything {
    bool wholeBeyond64Bits = false;
    bool startObject() { return true; }
    bool endObject() { return true; }
    bool startArray() { return true; }
    bool endArray() { return true; }
    bool key(std::string_view) { return true; }
    bool string(std::string_view) { return true; }
    bool integer(std::int64_t) { return true; }
    bool number(double, bool whole) { return wholeBeyond64Bits |= whole, true; }
    bool boolean(bool) { return true; }
    bool null() { return true; }
};

void compareWithSimdjson(std::string_view data) {
    tessera::JsonSource source(data);
    AcceptEverything handler;
    tessera::JsonEventReader reader(source, handler);
    const bool accepted = reader.read();
    if (!accepted && reader.error().empty()) __builtin_trap(); // rejections say what

    simdjson::dom::parser parser;
    if (parser.allocate(std::max<std::size_t>(data.size(), 64), data.size() + 2) !=
        simdjson::SUCCESS)
        return;
    const auto error = parser.parse(simdjson::padded_string(data)).error();
    // simdjson refuses whole numbers beyond 64 bits, which the reader hands on as doubles.
    if (accepted && handler.wholeBeyond64Bits && error == simdjson::NUMBER_ERROR) return;
    if (accepted != (error == simdjson::SUCCESS)) __builtin_trap();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    auto root = tessera::Snapshot::loadRoot(bytes);
    if (root && !*root) __builtin_trap();                            // a success must carry a tree
    if (!root && root.error().description.empty()) __builtin_trap(); // errors say what
    compareWithSimdjson(bytes);
    return 0;
}
