// Drives the fuzz target without a fuzzing engine:
//
//   snapshot_fuzz_driver FOLDER...                  replays every file once (CI does this)
//   snapshot_fuzz_driver --mutate SECONDS FOLDER...  mutates the files at random for a while;
//                                                   an input that brings the process down is
//                                                   written to ./fuzz-crash-input
//
// Mutation is blind (no coverage feedback), so it complements a coverage-guided engine; it runs
// under the sanitizer build, where a fault stops the process with a report.
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
// Present in sanitizer builds: called before a sanitizer ends the process.
extern "C" void __sanitizer_set_death_callback(void (*)()) __attribute__((weak));

namespace {

// Pieces the snapshot formats are made of, to splice into inputs.
const char* const kTokens[] = {"{\"contents\":[",
                               "]}",
                               "{",
                               "}",
                               "[",
                               "]",
                               ",",
                               ":",
                               "\"",
                               "\\",
                               "\\u",
                               "\\ud800",
                               "\t",
                               "\n",
                               " ",
                               "\r\n",
                               "null",
                               "\"name\"",
                               "\"size\"",
                               "\"allocatedSize\"",
                               "\"creationDate\"",
                               "\"modificationDate\"",
                               "\"version\":1",
                               "\"rootFile\":",
                               "9223372036854775807",
                               "-9223372036854775808",
                               "99999999999999999999",
                               "1e308",
                               "-0",
                               "\"0001-01-01T00:00:00Z\"",
                               "\"2024-02-30T00:00:00Z\"",
                               "\xff",
                               "\xf4\x8f\xb8\x80",
                               std::string(1, '\0').c_str()};

const std::string* current = nullptr;

// Saves the input being run; only async-signal-safe calls.
void saveCurrentInput() {
    if (current == nullptr) return;
    const int fd = ::open("fuzz-crash-input", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return;
    [[maybe_unused]] const auto written = ::write(fd, current->data(), current->size());
    ::close(fd);
}

void onFatalSignal(int signal) {
    saveCurrentInput();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void run(const std::string& bytes) {
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

std::string mutate(std::string input, const std::vector<std::string>& corpus,
                   std::mt19937_64& random) {
    const int steps = 1 + static_cast<int>(random() % 6);
    for (int step = 0; step < steps; ++step) {
        const std::size_t at = input.empty() ? 0 : random() % (input.size() + 1);
        switch (random() % 7) {
        case 0: // flip a bit
            if (!input.empty()) input[at % input.size()] ^= static_cast<char>(1 << (random() % 8));
            break;
        case 1: // set a random byte
            if (!input.empty()) input[at % input.size()] = static_cast<char>(random());
            break;
        case 2: // delete a run
            if (!input.empty()) input.erase(at % input.size(), 1 + random() % 16);
            break;
        case 3: // insert a token
            input.insert(at, kTokens[random() % std::size(kTokens)]);
            break;
        case 4: { // duplicate a run, deepening nesting
            if (input.empty()) break;
            const std::size_t from = random() % input.size();
            const std::string piece = input.substr(from, 1 + random() % 64);
            for (int i = 0, n = 1 + static_cast<int>(random() % 50); i < n; ++i)
                input.insert(at, piece);
            break;
        }
        case 5: { // splice another input
            const std::string& other = corpus[random() % corpus.size()];
            if (!other.empty())
                input.insert(at, other.substr(random() % other.size(), 1 + random() % 128));
            break;
        }
        default: // truncate
            input.resize(at);
        }
    }
    return input;
}

} // namespace

int main(int argc, char** argv) {
    int first = 1;
    double seconds = 0;
    if (argc > 2 && std::string(argv[1]) == "--mutate") {
        seconds = std::atof(argv[2]);
        first = 3;
    }
    std::vector<std::string> corpus;
    for (int i = first; i < argc; ++i)
        for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[i])) {
            if (!entry.is_regular_file()) continue;
            std::ifstream file(entry.path(), std::ios::binary);
            corpus.emplace_back(std::istreambuf_iterator<char>(file),
                                std::istreambuf_iterator<char>());
        }
    for (const std::string& input : corpus)
        run(input);
    std::printf("replayed %zu inputs\n", corpus.size());
    if (corpus.empty()) return 1;
    if (seconds <= 0) return 0;

    if (__sanitizer_set_death_callback != nullptr) __sanitizer_set_death_callback(saveCurrentInput);
    for (int signal : {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL})
        std::signal(signal, onFatalSignal);
    std::mt19937_64 random(std::random_device{}());
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    std::size_t executions = 0;
    while (std::chrono::steady_clock::now() < end) {
        const std::string input = mutate(corpus[random() % corpus.size()], corpus, random);
        current = &input;
        run(input);
        current = nullptr;
        ++executions;
        if (random() % 64 == 0 && input.size() < 4096 && corpus.size() < 10000)
            corpus.push_back(input);
    }
    std::printf("%zu mutated inputs in %.0f s, no fault\n", executions, seconds);
    return 0;
}
