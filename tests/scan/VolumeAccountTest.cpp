// Where a volume's space went, on volumes made for the test where every figure is known: a tmpfs
// (nothing reserved, no records of its own on disk) with another mounted inside it, and a small
// ext4 image that keeps a tenth of its blocks for root. The favourites' usage bar reads them as
// df does, and `tessera scan --json` prints the account.
#include "scan/VolumeAccount.h"

#include "cli/ScanCommand.h"
#include "controller/FileController.h"
#include "favorites/Favorite.h"
#include "favorites/Predicate.h"
#include "favorites/PredicateText.h"
#include "platform/MainQueue.h"
#include "scan/ScanOperation.h"
#include "support/TemporaryDirectory.h"

#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/mount.h>

namespace tessera {
namespace {

using namespace tessera::testing;

constexpr std::int64_t kPage = 4096;

std::int64_t scannedAllocated(const std::string& path) {
    ScanOperation scan(path, nullptr, false, {}, MainQueue::shared());
    const FilePtr root = scan.scan();
    return root ? root->allocatedSize() : -1;
}

// Unmounts what it mounted, innermost first, whatever the test's outcome.
struct Mounts {
    std::vector<std::string> points;
    ~Mounts() {
        for (auto it = points.rbegin(); it != points.rend(); ++it)
            umount2(it->c_str(), MNT_DETACH);
    }
    bool tmpfs(const std::string& point, const char* options) {
        if (mount("tessera-test", point.c_str(), "tmpfs", 0, options) != 0) return false;
        points.push_back(point);
        return true;
    }
};

TEST(VolumeAccountTest, ATmpfsAddsUpToItsStatvfsAndCountsTheVolumeMountedInside) {
    TemporaryDirectory folder;
    const std::string point = folder.makeDirectory("volume");
    Mounts mounts;
    if (!mounts.tmpfs(point, "size=1m")) GTEST_SKIP() << "cannot mount a tmpfs here";
    folder.writeFile("volume/a", 10'000);
    folder.writeFile("volume/b/c", 5'000);
    const std::string inner = folder.makeDirectory("volume/inner");
    ASSERT_TRUE(mounts.tmpfs(inner, "size=256k"));
    folder.writeFile("volume/inner/x", 7'000);

    const std::int64_t scanned = scannedAllocated(point);
    const auto account = accountVolume(point, scanned, 2, platform::readMounts());
    ASSERT_TRUE(account);
    EXPECT_EQ(account->size, 1024 * 1024);
    EXPECT_EQ(account->reserved, 0);
    EXPECT_EQ(account->used + account->free + account->reserved, account->size);
    EXPECT_EQ(account->unreadable, 2);
    // Everything in use is in the scanned entries, within a block an entry (five of them).
    ASSERT_TRUE(account->unattributed);
    EXPECT_LE(std::abs(*account->unattributed), 5 * kPage) << "scanned " << scanned;
    EXPECT_EQ(account->used - *account->unattributed, scanned);
    // The inner volume is not scanned; its own use is told apart.
    EXPECT_EQ(account->otherVolumeCount, 1);
    EXPECT_EQ(account->otherVolumes, 2 * kPage);

    // A folder is no whole volume: what is in use elsewhere on it is not its business.
    const auto folderAccount = accountVolume(
        folder / "volume/b", scannedAllocated(folder / "volume/b"), 0, platform::readMounts());
    ASSERT_TRUE(folderAccount);
    EXPECT_FALSE(folderAccount->unattributed);
    EXPECT_EQ(folderAccount->otherVolumeCount, 0);

    // The command line prints the same account.
    ::testing::internal::CaptureStdout();
    ASSERT_EQ(cli::runScanCommand(std::vector<std::string>{point, "--json"}), 0);
    const std::string printed = ::testing::internal::GetCapturedStdout();
    const auto field = [](const std::string& key, std::int64_t value) {
        return "\"" + key + "\": " + std::to_string(value);
    };
    const std::string volume = printed.substr(printed.find("\"volume\""));
    EXPECT_NE(volume.find(field("size", account->size)), std::string::npos) << printed;
    EXPECT_NE(volume.find(field("used", account->used)), std::string::npos) << printed;
    EXPECT_NE(volume.find(field("reserved", 0)), std::string::npos) << printed;
    EXPECT_NE(volume.find(field("otherVolumes", 2 * kPage)), std::string::npos) << printed;
    EXPECT_NE(volume.find(field("unattributed", *account->unattributed)), std::string::npos)
        << printed;
}

TEST(VolumeAccountTest, BlocksKeptForRootAreReservedNotUsed) {
    TemporaryDirectory folder;
    const std::string image = folder / "ext4.img";
    const std::string point = folder.makeDirectory("volume");
    const std::string make = "mkfs.ext4 -q -F -m 10 " + image +
                             " 8M >/dev/null 2>&1 && mount -o loop " + image + " " + point +
                             " >/dev/null 2>&1";
    if (std::system(make.c_str()) != 0)
        GTEST_SKIP() << "cannot make and loop-mount an ext4 image here (mkfs.ext4, loop devices)";
    Mounts mounts;
    mounts.points.push_back(point);
    folder.writeFile("volume/data", 300'000);

    const auto account = accountVolume(point, scannedAllocated(point), 0, platform::readMounts());
    ASSERT_TRUE(account);
    // mkfs keeps a tenth of the blocks for root: free, but for nobody else (the file system
    // says how many); ext4 keeps up to 2 % more for itself, which statvfs counts alike.
    std::int64_t reservedBlocks = -1;
    std::int64_t blockSize = -1;
    if (std::FILE* header = popen(("dumpe2fs -h " + image + " 2>/dev/null").c_str(), "r")) {
        char line[256];
        while (std::fgets(line, sizeof line, header) != nullptr) {
            std::sscanf(line, "Reserved block count: %ld", &reservedBlocks);
            std::sscanf(line, "Block size: %ld", &blockSize);
        }
        pclose(header);
    }
    if (reservedBlocks >= 0 && blockSize > 0) {
        EXPECT_GE(account->reserved, reservedBlocks * blockSize);
        EXPECT_LE(account->reserved, reservedBlocks * blockSize + account->size * 3 / 100);
    }
    EXPECT_GT(account->reserved, account->size / 10);
    EXPECT_EQ(account->used + account->free + account->reserved, account->size);
    // What is in use beyond the file is the file system's own records (its journal, tables).
    ASSERT_TRUE(account->unattributed);
    EXPECT_GT(*account->unattributed, 0);

    // The usage bar reads the volume as df does: in use out of what users can fill.
    Favorite volume(point, true);
    ASSERT_TRUE(volume.isVolume());
    EXPECT_EQ(volume.size(), account->used);
    EXPECT_EQ(volume.totalSize(), account->used + account->free);
    EXPECT_EQ(volume.reservedSize(), account->reserved);
}

TEST(VolumeAccountTest, LinesFollowThePictureAndLeaveEmptyPartsOut) {
    VolumeAccount account;
    account.size = 1000;
    account.used = 600;
    account.reserved = 100;
    account.free = 300;
    account.unattributed = 50;
    account.otherVolumes = 70;
    account.otherVolumeCount = 2;
    account.unreadable = 3;
    const std::vector<AccountLine> lines = accountLines(account);
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], (AccountLine{AccountPart::unattributed, 50, 0}));
    EXPECT_EQ(lines[1], (AccountLine{AccountPart::reserved, 100, 0}));
    EXPECT_EQ(lines[2], (AccountLine{AccountPart::free, 300, 0}));
    EXPECT_EQ(lines[3], (AccountLine{AccountPart::otherVolumes, 70, 2}));
    // Entries that could not be read have no known size: counted, never guessed.
    EXPECT_EQ(lines[4], (AccountLine{AccountPart::unreadable, std::nullopt, 3}));
    EXPECT_EQ(capacityShares(account), std::vector(lines.begin(), lines.begin() + 3));

    // Names of one file counted at each outnumber what is in use: nothing is unattributed, and
    // a full volume, a folder (no unattributed part) and a tmpfs (nothing reserved) leave
    // their empty parts out.
    account.unattributed = -20;
    account.free = 0;
    account.reserved = 0;
    EXPECT_TRUE(capacityShares(account).empty());
    account.unattributed.reset();
    account.excluded = 4;
    EXPECT_EQ(accountLines(account).back(), (AccountLine{AccountPart::excluded, std::nullopt, 4}));
    EXPECT_EQ(accountPartName(AccountPart::reserved), "Reserved");
}

TEST(VolumeAccountTest, ALiveTreeAccountsForWhatItsFirstScanLeftOut) {
    TemporaryDirectory folder;
    folder.writeFile("keep/a", 5'000);
    folder.writeFile("skip/b", 7'000);
    folder.writeFile("c.o", 100);
    auto controller = FileController::create(folder.path());
    Favorite favorite(folder.path(), false);
    favorite.setFilterPredicate(
        std::make_shared<const Predicate>(*parsePredicate("path endswith \".o\"")));
    favorite.addExcludedPath(folder / "skip");
    favorite.setFileController(controller);
    EXPECT_FALSE(controller->volumeAccount()) << "no tree yet";
    ASSERT_TRUE(MainQueue::shared().runUntil(
        [&] { return controller->loadedRootFile() != nullptr; }, std::chrono::seconds(30)));

    const auto account = controller->volumeAccount();
    ASSERT_TRUE(account);
    EXPECT_EQ(account->excluded, 2);
    EXPECT_EQ(account->unreadable, 0);
    EXPECT_FALSE(account->unattributed) << "a folder is no whole volume";
    EXPECT_EQ(account->used + account->free + account->reserved, account->size);
    EXPECT_EQ(accountLines(*account).back(), (AccountLine{AccountPart::excluded, std::nullopt, 2}));
    favorite.setFileController(nullptr);
}

} // namespace
} // namespace tessera
