#include "cli/WatchCommand.h"

#include "base/Paths.h"
#include "cli/ErrorPrinter.h"
#include "cli/ScanRunner.h"
#include "cli/Summary.h"
#include "cli/TerminalText.h"
#include "controller/FileController.h"
#include "controller/FileControllerObserver.h"
#include "platform/MainQueue.h"
#include "platform/Process.h"
#include "snapshot/StoredName.h"

#include "json/JsonWriter.h"
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>

namespace tessera::cli {
namespace {

std::atomic<bool> interrupted{false};

extern "C" void onInterrupt(int) {
    interrupted.store(true);
}

// One JSON line per notification, with the root's totals after the change.
class ChangePrinter final : public FileControllerObserver {
public:
    explicit ChangePrinter(FileController& controller) : controller_(controller) {}

    Directory* observedRootFile() const override { return controller_.rootFile(); }

    void fileControllerDidUpdateProgress(const ScanProgress& progress) override {
        if (!showsProgress) return;
        const double seconds = std::chrono::duration<double>(Clock::now() - started_).count();
        std::fputs(
            progressLine(progress.completedUnitCount, progress.totalUnitCount, seconds).c_str(),
            stderr);
        drewProgress_ = true;
    }
    void fileControllerDidLoadRootFile() override {
        if (drewProgress_) std::fputs("\r\x1b[K", stderr);
    }

    void fileControllerDidInsert(Directory& parent, std::size_t index) override {
        print("insertion", [&](JsonWriter& json) {
            json.key("path");
            json.string(toStoredName(parent.child(index)->relativePath()));
            json.key("index");
            json.integer(static_cast<std::int64_t>(index));
        });
    }
    void fileControllerDidMove(Directory& oldParent, std::size_t oldIndex, Directory& newParent,
                               std::size_t newIndex) override {
        print("move", [&](JsonWriter& json) {
            json.key("oldParent");
            json.string(toStoredName(oldParent.relativePath()));
            json.key("oldIndex");
            json.integer(static_cast<std::int64_t>(oldIndex));
            json.key("path");
            json.string(toStoredName(newParent.child(newIndex)->relativePath()));
            json.key("index");
            json.integer(static_cast<std::int64_t>(newIndex));
        });
    }
    void fileControllerDidRemove(File& file, Directory& parent, std::size_t index) override {
        print("removal", [&](JsonWriter& json) {
            json.key("path");
            json.string(toStoredName(joinPath(parent.relativePath(), file.path())));
            json.key("index");
            json.integer(static_cast<std::int64_t>(index));
        });
    }
    void fileControllerDidChangeOrder(File& file, std::ptrdiff_t oldIndex,
                                      std::ptrdiff_t newIndex) override {
        print("orderChange", [&](JsonWriter& json) {
            json.key("path");
            json.string(toStoredName(file.relativePath()));
            json.key("oldIndex");
            json.integer(oldIndex);
            json.key("index");
            json.integer(newIndex);
        });
    }
    void fileControllerDidChange(File& file) override {
        print("change", [&](JsonWriter& json) {
            json.key("path");
            json.string(toStoredName(file.relativePath()));
            if (&file == controller_.rootFile()) {
                json.key("location");
                json.string(toStoredName(controller_.rootPath()));
            }
        });
    }
    void fileControllerDidClose() override {
        print("close", [](JsonWriter&) {});
        closed = true;
    }

    bool closed = false;
    bool showsProgress = false;

private:
    using Clock = std::chrono::steady_clock;
    Clock::time_point started_ = Clock::now();
    bool drewProgress_ = false;

    template <typename Members> void print(const char* event, Members&& members) {
        std::string out;
        JsonWriter json(out, false);
        json.beginObject();
        json.key("event");
        json.string(event);
        members(json);
        json.key("root");
        if (const Directory* root = controller_.rootFile()) {
            json.beginObject();
            json.key("size");
            json.integer(root->size());
            json.key("allocatedSize");
            json.integer(root->allocatedSize());
            json.key("fileCount");
            json.integer(root->fileCount());
            json.endObject();
        } else {
            json.null();
        }
        json.endObject();
        out += '\n';
        std::fputs(out.c_str(), stdout);
        std::fflush(stdout);
    }

    FileController& controller_;
};

} // namespace

int watchFolder(const std::string& path, std::shared_ptr<const Predicate> exclusion) {
    MainQueue& mainQueue = MainQueue::shared();
    ErrorPrinter errors;
    LogController::shared().setDelegate(&errors);
    platform::onInterruption(onInterrupt);

    Favorite favorite(path, false);
    if (exclusion) {
        favorite.setFilterPredicate(std::move(exclusion));
        favorite.setFilterPredicateEnabled(true);
    }
    auto controller = FileController::create(path);
    if (controller->isSnapshot()) {
        std::fprintf(stderr, "tessera scan: --watch follows folders, not %s\n",
                     escapeForTerminal(path).c_str());
        return 2;
    }
    ChangePrinter printer(*controller);
    printer.showsProgress = platform::standardErrorIsTerminal();
    controller->addObserver(printer);
    const auto started = std::chrono::steady_clock::now();
    favorite.setFileController(controller);
    const auto forever = std::chrono::hours(24 * 365);
    mainQueue.runUntil(
        [&] { return controller->rootFile() != nullptr || controller->scanOperationCount() == 0; },
        forever);
    int status = 0;
    if (Directory* root = controller->rootFile()) {
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        printSummary(*root, {path, errors.count, seconds, true, stdout, std::nullopt});
        std::fflush(stdout);
        // Woken now and then to notice an interruption; changes wake it at once.
        while (!interrupted.load() && !printer.closed)
            mainQueue.runUntil([&] { return interrupted.load() || printer.closed; },
                               std::chrono::milliseconds(200));
    } else {
        if (errors.count == 0)
            std::fprintf(stderr, "tessera scan: nothing to scan at %s\n",
                         escapeForTerminal(path).c_str());
        status = 1;
    }
    controller->removeObserver(printer);
    favorite.setFileController(nullptr);
    mainQueue.runPending();
    LogController::shared().setDelegate(nullptr);
    return status;
}

} // namespace tessera::cli
