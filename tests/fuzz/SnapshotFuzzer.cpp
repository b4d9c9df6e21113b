// Fuzz target: any bytes given to the snapshot reader give a tree or a clear error, never a
// crash, a hang or a leak. It has libFuzzer's entry point; FuzzDriver.cpp replays the corpus
// (CI) and mutates it (tests/fuzz/fuzz.sh).
#include "snapshot/Snapshot.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    auto root = tessera::Snapshot::loadRoot(std::string(reinterpret_cast<const char*>(data), size));
    if (root && !*root) __builtin_trap();                            // a success must carry a tree
    if (!root && root.error().description.empty()) __builtin_trap(); // errors say what
    return 0;
}
