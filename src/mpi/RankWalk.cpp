#include "mpi/RankWalk.h"

#include "base/Paths.h"
#include "cli/ErrorPrinter.h"
#include "cli/TerminalText.h"
#include "distributed/FolderLister.h"
#include "distributed/TreeAssembly.h"
#include "logs/LogController.h"
#include "logs/LogLine.h"
#include "mpi/MpiMessages.h"
#include "platform/FileSystem.h"
#include "scan/ScanOperation.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

namespace tessera::mpi {
namespace {

using distributed::FolderUnit;
using Clock = std::chrono::steady_clock;

// A process sends its records to the first once it has this many bytes of them.
constexpr std::size_t kBatchBytes = 1 << 20;
// How long the talking thread rests when nothing happened.
constexpr auto kRest = std::chrono::microseconds(200);
// How long a process waits before asking again after another had nothing to give.
constexpr auto kStealBackoff = std::chrono::milliseconds(2);
// Folder record numbers: the process's rank above this many bits, a count below.
constexpr int kIdBits = 40;

// The folders this process holds, the threads that list them, and the records they wrote.
class LocalWork {
public:
    LocalWork(const Predicate* exclusion, unsigned threads, int rank, bool keepLinks)
        : exclusion_(exclusion), keepLinks_(keepLinks),
          nextId_(static_cast<std::uint64_t>(rank) << kIdBits) {
        if (rank == 0) ++nextId_; // 0 is the root's
        for (unsigned i = 0; i < threads; ++i) {
            try {
                threads_.emplace_back([this] { work(); });
            } catch (const std::system_error&) {
                if (threads_.empty()) throw;
                break; // the walk goes on with the threads it has
            }
        }
    }
    ~LocalWork() { stop(); }

    void add(std::vector<FolderUnit> units) {
        {
            std::lock_guard lock(mutex_);
            for (FolderUnit& unit : units)
                units_.push_back(std::move(unit));
        }
        ready_.notify_all();
    }

    // Half of the folders waiting here, the oldest (nearest the root, so the largest) first;
    // the last one too when every thread is busy with another.
    std::vector<FolderUnit> giveAway() {
        std::lock_guard lock(mutex_);
        std::size_t count = units_.size() / 2;
        if (count == 0 && units_.size() == 1 && active_ > 0) count = 1;
        std::vector<FolderUnit> given;
        given.reserve(count);
        for (std::size_t i = 0; i < count; ++i) {
            given.push_back(std::move(units_.front()));
            units_.pop_front();
        }
        return given;
    }

    bool idle() {
        std::lock_guard lock(mutex_);
        return units_.empty() && active_ == 0;
    }

    std::size_t recordBytes() {
        std::lock_guard lock(mutex_);
        return records_.size();
    }

    std::string takeRecords() {
        std::lock_guard lock(mutex_);
        std::string taken;
        taken.swap(records_);
        return taken;
    }

    std::string failure() {
        std::lock_guard lock(mutex_);
        return failure_;
    }

    void stop() {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        ready_.notify_all();
        for (std::thread& thread : threads_)
            thread.join();
        threads_.clear();
    }

    std::uint64_t excludedCount() const { return excluded_.load(); }

private:
    void work() {
        distributed::FolderLister lister(exclusion_, nullptr, [this] { return nextId_++; });
        if (keepLinks_) lister.keepLinks();
        std::string written;
        for (;;) {
            FolderUnit unit;
            {
                std::unique_lock lock(mutex_);
                ready_.wait(lock, [this] { return stopping_ || !units_.empty(); });
                if (stopping_) break;
                unit = std::move(units_.back());
                units_.pop_back();
                ++active_;
            }
            std::vector<FolderUnit> others;
            std::string failed;
            try {
                others = lister.list(std::move(unit), written);
            } catch (const std::exception& error) {
                failed = error.what();
            }
            {
                std::lock_guard lock(mutex_);
                // Reversed, so that this process lists them in the order they were met.
                for (auto it = others.rbegin(); it != others.rend(); ++it)
                    units_.push_back(std::move(*it));
                records_ += written;
                if (!failed.empty() && failure_.empty()) failure_ = failed;
                --active_;
            }
            if (!others.empty()) ready_.notify_all();
            written.clear();
        }
        excluded_ += lister.excludedCount();
    }

    const Predicate* exclusion_;
    bool keepLinks_;
    std::atomic<std::uint64_t> nextId_;
    std::atomic<std::uint64_t> excluded_{0};
    std::mutex mutex_; // guards the members below
    std::condition_variable ready_;
    std::deque<FolderUnit> units_;
    unsigned active_ = 0;
    bool stopping_ = false;
    std::string records_;
    std::string failure_;
    std::vector<std::thread> threads_;
};

// One process's part: serving the others, asking them for folders when idle, passing the
// token, and streaming records to the first process, which assembles them.
//
// The end of the walk is found by the token of Dijkstra and Safra: each process counts the
// messages with folders it sent less those it received, and turns black when it receives some.
// The first process sends a white token round when idle; every process passes it on once idle,
// adding its count and its colour, and turns white. When the token comes back white to a white
// first process with counts that add up to nothing, no folder is left anywhere nor on its way.
class RankWalk {
public:
    RankWalk(const Predicate* exclusion, unsigned threads, bool keepLinks,
             std::function<void(std::string_view, int)> onError)
        : work_(exclusion, threads, messenger_.rank(), keepLinks), onError_(std::move(onError)),
          random_(static_cast<unsigned>(messenger_.rank()) * 7919u + 1u) {
        if (const char* kill = std::getenv("TESSERA_MPI_TEST_KILL_RANK"))
            killedWithToken_ = std::atoi(kill) == messenger_.rank() && messenger_.rank() != 0;
    }

    // Walks from `root` (given on the first process only) until no folder is left anywhere.
    void run(std::optional<FolderUnit> root) {
        if (root) work_.add({std::move(*root)});
        while (!terminated_) {
            const bool heard = serve();
            messenger_.sending();
            if (const std::string failure = work_.failure(); !failure.empty())
                throw std::runtime_error(failure);
            if (work_.recordBytes() >= kBatchBytes) shipRecords();
            if (work_.idle()) {
                askForFolders();
                passToken();
            }
            if (!heard) std::this_thread::sleep_for(kRest);
        }
        finish();
    }

    distributed::TreeAssembly& assembly() { return assembly_; }
    std::uint64_t excludedCount() const { return excluded_; }

private:
    bool first() const { return messenger_.rank() == 0; }

    // Handles every message that has arrived; true when there was one.
    bool serve() {
        bool heard = false;
        while (std::optional<Message> message = messenger_.receive()) {
            heard = true;
            handle(*message);
        }
        return heard;
    }

    void handle(Message& message) {
        distributed::ByteReader reader(message.bytes);
        switch (message.tag) {
        case stealRequest: {
            std::vector<FolderUnit> given = work_.giveAway();
            if (!given.empty()) ++sentMinusReceived_;
            std::string bytes;
            distributed::encodeUnits(given, bytes);
            messenger_.send(message.source, stealReply, std::move(bytes));
            break;
        }
        case stealReply: {
            asking_ = false;
            std::vector<FolderUnit> units = distributed::decodeUnits(message.bytes);
            if (units.empty()) {
                nextAsk_ = Clock::now() + kStealBackoff;
            } else {
                if (terminated_) throw std::runtime_error("folders arrived after the walk ended");
                --sentMinusReceived_;
                black_ = true;
                work_.add(std::move(units));
            }
            break;
        }
        case token:
            holdsToken_ = true;
            tokenCount_ = reader.i64();
            tokenBlack_ = reader.byte() != 0;
            break;
        case terminate:
            terminated_ = true;
            break;
        case records:
            if (!first())
                throw std::runtime_error("records sent to a process that does not assemble");
            assembly_.add(std::move(message.bytes), onError_);
            ++batchesReceived_[static_cast<std::size_t>(message.source)];
            break;
        case done: {
            excluded_ += reader.u64();
            const std::uint64_t batches = reader.u64();
            if (batches != batchesReceived_[static_cast<std::size_t>(message.source)])
                throw std::runtime_error("records of process " + std::to_string(message.source) +
                                         " went missing");
            ++doneCount_;
            break;
        }
        default:
            throw std::runtime_error("a message of unknown kind");
        }
    }

    void askForFolders() {
        const int size = messenger_.size();
        if (size == 1 || asking_ || Clock::now() < nextAsk_) return;
        std::uniform_int_distribution<int> pick(0, size - 2);
        int victim = pick(random_);
        if (victim >= messenger_.rank()) ++victim;
        messenger_.send(victim, stealRequest, {});
        asking_ = true;
    }

    void sendToken(std::int64_t count, bool black) {
        std::string bytes;
        distributed::ByteWriter writer(bytes);
        writer.i64(count);
        writer.byte(black ? 1 : 0);
        messenger_.send((messenger_.rank() + 1) % messenger_.size(), token, std::move(bytes));
    }

    // Called while this process is idle.
    void passToken() {
        const int size = messenger_.size();
        if (first()) {
            if (size == 1) {
                terminated_ = true;
            } else if (!roundOut_) {
                black_ = false;
                roundOut_ = true;
                sendToken(0, false);
            } else if (holdsToken_) {
                holdsToken_ = false;
                roundOut_ = false; // a new round starts next time, unless this one ends it
                if (!tokenBlack_ && !black_ && tokenCount_ + sentMinusReceived_ == 0) {
                    terminated_ = true;
                    for (int other = 1; other < size; ++other)
                        messenger_.send(other, terminate, {});
                }
            }
            return;
        }
        if (!holdsToken_) return;
        // Tests make a process die here, in the middle of the walk, to see the job end cleanly.
        if (killedWithToken_) std::raise(SIGKILL);
        holdsToken_ = false;
        sendToken(tokenCount_ + sentMinusReceived_, tokenBlack_ || black_);
        black_ = false;
    }

    void shipRecords() {
        std::string batch = work_.takeRecords();
        if (batch.empty()) return;
        if (first()) {
            assembly_.add(std::move(batch), onError_);
        } else {
            messenger_.send(0, records, std::move(batch));
            ++batchesSent_;
        }
    }

    // After the end: the threads stop, this process's own question is answered, every record
    // reaches the first process, and all wait for each other (serving questions meanwhile, so
    // that none is left unanswered) before anyone stops talking.
    void finish() {
        work_.stop();
        while (asking_) {
            if (!serve()) std::this_thread::sleep_for(kRest);
            messenger_.sending();
        }
        shipRecords();
        excluded_ += work_.excludedCount();
        if (!first()) {
            std::string bytes;
            distributed::ByteWriter writer(bytes);
            writer.u64(work_.excludedCount());
            writer.u64(batchesSent_);
            messenger_.send(0, done, std::move(bytes));
        }
        MPI_Request barrier = MPI_REQUEST_NULL;
        check(MPI_Ibarrier(MPI_COMM_WORLD, &barrier), "MPI_Ibarrier");
        for (;;) {
            const bool heard = serve();
            messenger_.sending();
            int passed = 0;
            check(MPI_Test(&barrier, &passed, MPI_STATUS_IGNORE), "MPI_Test");
            if (passed && (!first() || doneCount_ == messenger_.size() - 1)) break;
            if (!heard) std::this_thread::sleep_for(kRest);
        }
        messenger_.finishSending();
    }

    Messenger messenger_;
    LocalWork work_;
    std::function<void(std::string_view, int)> onError_;
    std::minstd_rand random_;
    distributed::TreeAssembly assembly_;
    bool terminated_ = false;
    bool asking_ = false;
    Clock::time_point nextAsk_{};
    bool killedWithToken_ = false;
    // The token's state on this process.
    bool black_ = false;
    std::int64_t sentMinusReceived_ = 0;
    bool holdsToken_ = false;
    bool roundOut_ = false; // the first process: a round is on its way
    std::int64_t tokenCount_ = 0;
    bool tokenBlack_ = false;
    // Records: sent by the others, received by the first.
    std::uint64_t batchesSent_ = 0;
    std::vector<std::uint64_t> batchesReceived_ =
        std::vector<std::uint64_t>(static_cast<std::size_t>(messenger_.size()), 0);
    int doneCount_ = 0;
    std::uint64_t excluded_ = 0;
};

// The root as a local scan measures it; none after logging why it cannot be scanned.
std::optional<platform::EntryStatus> measureRoot(const std::string& path) {
    platform::EntryStatus status;
    status.isDirectory = true;
    if (path == "/") {
        if (auto device = platform::statusOfPath("/")) status.device = device->device;
        return status;
    }
    auto measured = platform::statusOfPath(path);
    if (!measured) {
        LogController::shared().add(
            LogLine::scanError(path, LogLine::Error::posix(measured.error())));
        return std::nullopt;
    }
    if (!measured->isDirectory || platform::isHiddenCompanion(path)) return std::nullopt;
    return *measured;
}

cli::DistributedScanRun scan(const std::string& given, const Predicate* exclusion, unsigned threads,
                             bool keepLinkedNames) {
    const auto started = Clock::now();
    Messenger messenger;
    cli::DistributedScanRun result;
    result.assembles = messenger.rank() == 0;
    cli::ErrorPrinter errors;
    if (result.assembles) LogController::shared().setDelegate(&errors);
    const std::string path = standardizedPath(given);

    std::optional<platform::EntryStatus> rootStatus;
    int measured = 1;
    if (result.assembles) {
        rootStatus = measureRoot(path);
        measured = rootStatus ? 1 : 0;
    }
    check(MPI_Bcast(&measured, 1, MPI_INT, 0, MPI_COMM_WORLD), "MPI_Bcast");
    if (measured == 0) {
        LogController::shared().setDelegate(nullptr);
        result.run.errors = errors.count;
        return result;
    }

    RankWalk walk(exclusion, threads == 0 ? defaultWalkThreads() : threads, keepLinkedNames,
                  [](std::string_view entry, int error) {
                      LogController::shared().add(
                          LogLine::scanError(std::string(entry), LogLine::Error::posix(error)));
                  });
    std::optional<FolderUnit> rootUnit;
    if (rootStatus) rootUnit = FolderUnit{0, rootStatus->device, path};
    walk.run(std::move(rootUnit));
    if (result.assembles) {
        const std::string rootName = path == "/" ? "/" : std::string(lastComponent(path));
        DirectoryPtr root =
            Directory::create(rootName, rootStatus->creationDate, rootStatus->modificationDate, {});
        walk.assembly().build(*root, 0);
        root->setPath("");
        if (keepLinkedNames) result.run.linkedNames = walk.assembly().linkedNames(path);
        result.run.root = std::move(root);
        result.run.errors = errors.count;
        result.run.excluded = walk.excludedCount();
        result.run.seconds = std::chrono::duration<double>(Clock::now() - started).count();
        LogController::shared().setDelegate(nullptr);
    }
    return result;
}

} // namespace

cli::DistributedScanRun scanOnEveryProcess(const std::string& path,
                                           std::shared_ptr<const Predicate> exclusion,
                                           unsigned threads, bool keepLinkedNames) {
    try {
        return scan(path, exclusion.get(), threads, keepLinkedNames);
    } catch (const std::exception& error) {
        int rank = 0;
        MPI_Comm_rank(MPI_COMM_WORLD, &rank);
        std::fprintf(stderr, "tessera scan: process %d of the distributed scan failed: %s\n", rank,
                     cli::escapeForTerminal(error.what()).c_str());
        std::fflush(stderr);
        MPI_Abort(MPI_COMM_WORLD, 1);
        std::_Exit(1);
    }
}

} // namespace tessera::mpi
