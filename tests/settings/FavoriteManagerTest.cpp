#include "settings/FavoriteManager.h"

#include "controller/FileController.h"
#include "favorites/UniqueNames.h"
#include "platform/FileSystem.h"
#include "platform/MainQueue.h"
#include "support/TemporaryDirectory.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iostream>
#include <sys/mount.h>

namespace tessera {
namespace {

using namespace tessera::testing;
using namespace std::chrono_literals;

std::vector<std::string> namesOf(const FavoriteManager& manager) {
    std::vector<std::string> names;
    for (std::size_t i = 0; i < manager.count(); ++i)
        names.push_back(manager.at(i)->name());
    return names;
}

TEST(FavoriteManagerTest, NamesTakeComponentsFromTheEndUntilTheyDiffer) {
    EXPECT_EQ(uniqueDisplayNames({{{"Macintosh HD", "Users", "me", "Documents"}, "/a"},
                                  {{"Backup", "Documents"}, "/b"}}),
              (std::vector<std::string>{"Documents \u2013 me", "Documents \u2013 Backup"}));
    EXPECT_EQ(uniqueDisplayNames({{{"/", "home", "me", "Documents"}, "/home/me/Documents"}}),
              std::vector<std::string>{"Documents"});
    // The root's slash stands for itself in a detail.
    EXPECT_EQ(uniqueDisplayNames({{{"/", "data"}, "/data"}, {{"/", "srv", "data"}, "/srv/data"}}),
              (std::vector<std::string>{"data \u2013 /", "data \u2013 srv"}));
    // Two disks with the same label fall back, once, to their paths; the same path twice
    // stays as it is rather than falling back without end.
    EXPECT_EQ(
        uniqueDisplayNames({{{"USB", "x"}, "/media/a/USB/x"}, {{"USB", "x"}, "/media/b/USB/x"}}),
        (std::vector<std::string>{"x \u2013 a/USB", "x \u2013 b/USB"}));
    EXPECT_EQ(uniqueDisplayNames({{{"/", "x"}, "/x"}, {{"/", "x"}, "/x"}}),
              (std::vector<std::string>{"x \u2013 /", "x \u2013 /"}));
    // Names that are already unique keep their single component.
    EXPECT_EQ(uniqueDisplayNames({{{"Backup"}, "/media/me/Backup"}, {{"Photos"}, "/mnt/p"}}),
              (std::vector<std::string>{"Backup", "Photos"}));
}

TEST(FavoriteManagerTest, AddMoveAndRemoveKeepOnlyKeptFavouritesInTheFile) {
    TemporaryDirectory home;
    const std::string settings = home / "config/settings.json";
    std::vector<std::string> folders;
    home.makeDirectory("places");
    for (const char* name : {"a", "b", "c", "d", "e"})
        folders.push_back(home.makeDirectory(std::string("places/") + name));

    FavoriteManager manager(settings, 7);
    manager.load();
    for (const std::string& folder : folders) {
        const std::size_t next = manager.count();
        EXPECT_EQ(manager.add(folder, true), std::pair(next, false));
    }
    EXPECT_EQ(namesOf(manager), (std::vector<std::string>{"a", "b", "c", "d", "e"}));

    // Each change tells what it touched: a move maps every old row to its new one.
    std::vector<FavoriteManager::ListChange> changes;
    const Subscription listening = manager.listChanged().subscribe(
        [&changes](const FavoriteManager::ListChange& change) { changes.push_back(change); });
    manager.move({2, 0}, 4);
    EXPECT_EQ(namesOf(manager), (std::vector<std::string>{"b", "d", "a", "c", "e"}));
    ASSERT_EQ(changes.size(), 1u);
    EXPECT_EQ(changes[0].kind, FavoriteManager::ListChange::Kind::moved);
    EXPECT_EQ(changes[0].newRows, (std::vector<std::size_t>{2, 0, 3, 1, 4}));

    // Adding what is listed changes nothing, not even the file.
    std::filesystem::remove(settings);
    const std::pair<std::size_t, bool> listed{2, true};
    EXPECT_EQ(manager.add(folders[0], false), listed);
    EXPECT_FALSE(platform::entryExists(settings));

    // A location that is only opened is listed but never written.
    const std::string opened = home.makeDirectory("opened");
    EXPECT_EQ(manager.add(opened, false).second, false);
    manager.remove(0);
    ASSERT_EQ(changes.size(), 3u);
    EXPECT_EQ(changes[1].kind, FavoriteManager::ListChange::Kind::inserted);
    EXPECT_EQ(changes[1].first, 5u);
    EXPECT_EQ(changes[2].kind, FavoriteManager::ListChange::Kind::removed);
    EXPECT_EQ(changes[2].first, 0u);

    FavoriteManager later(settings, 7);
    later.load();
    EXPECT_EQ(namesOf(later), (std::vector<std::string>{"d", "a", "c", "e"}));
    EXPECT_EQ(later.settings().version, 7);

    // Keeping it writes it.
    manager.keep(manager.count() - 1);
    FavoriteManager third(settings, 7);
    third.load();
    EXPECT_EQ(third.count(), 5u);
    EXPECT_EQ(third.at(4)->url(), opened);
}

TEST(FavoriteManagerTest, TheFirstStartOffersItsLocationsAndLaterStartsDoNot) {
    TemporaryDirectory home;
    const std::string settings = home / "settings.json";
    const std::string documents = home.makeDirectory("Documents");
    {
        FavoriteManager manager(settings, 1);
        manager.load({home.path(), documents, home / "missing", home.path()});
        EXPECT_EQ(manager.count(), 2u);
        manager.save();
        manager.remove(1);
    }
    FavoriteManager manager(settings, 1);
    manager.load({documents});
    ASSERT_EQ(manager.count(), 1u);
    EXPECT_EQ(manager.at(0)->url(), home.path());
}

TEST(FavoriteManagerTest, MountTableDifferencesBecomeVolumeEvents) {
    using Kind = platform::VolumeEvent::Kind;
    const platform::Mount root{"/", 1, "/dev/sda1", "ext4"};
    const platform::Mount usb{"/media/me/OLD", 2, "/dev/sdb1", "vfat"};
    platform::Mount renamed = usb;
    renamed.mountPoint = "/media/me/NEW";
    const platform::Mount card{"/media/me/CARD", 3, "/dev/sdc1", "exfat"};
    const auto identity = [](const platform::Mount& mount) {
        return mount.source == "/dev/sda1" ? std::string() : "id" + mount.source;
    };
    using Events = std::vector<platform::VolumeEvent>;
    EXPECT_EQ(platform::volumeEvents({root}, {root, usb}, identity),
              (Events{{Kind::mounted, "/media/me/OLD", {}}}));
    EXPECT_EQ(platform::volumeEvents({root, usb, card}, {root, card, renamed}, identity),
              (Events{{Kind::renamed, "/media/me/NEW", "/media/me/OLD"}}));
    EXPECT_EQ(
        platform::volumeEvents({root, usb}, {root, card}, identity),
        (Events{{Kind::unmounted, "/media/me/OLD", {}}, {Kind::mounted, "/media/me/CARD", {}}}));
    // Mounted twice at one point: the second mount's removal is one unmount.
    EXPECT_EQ(platform::volumeEvents({root, card, card}, {root, card}, identity),
              (Events{{Kind::unmounted, "/media/me/CARD", {}}}));
}

TEST(FavoriteManagerTest, AnUnmountedVolumesFavouriteGreysOutAndComesBackWhenMounted) {
    TemporaryDirectory home;
    const std::string point = home.makeDirectory("volume");
    if (mount("tessera-fav", point.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "mounting a tmpfs is refused here (" << std::strerror(errno)
                     << "); the volume events are not exercised";
    FavoriteManager manager(home / "settings.json", 1);
    manager.load();
    ASSERT_TRUE(manager.startWatchingVolumes(MainQueue::shared()));
    const auto [index, present] = manager.add(point, true);
    const std::shared_ptr<Favorite> favorite = manager.at(index);
    EXPECT_TRUE(favorite->enabled());
    EXPECT_TRUE(favorite->isVolume());
    EXPECT_EQ(favorite->name(), "volume");
    int changes = 0;
    const Subscription counting =
        favorite->changed().subscribe([&changes](Favorite&) { ++changes; });

    // The folder stays behind on the outer volume; it is not the favourite's volume.
    ASSERT_EQ(umount(point.c_str()), 0);
    EXPECT_TRUE(MainQueue::shared().runUntil([&] { return !favorite->enabled(); }, 5s));
    EXPECT_EQ(favorite->name(), "\u201cvolume\u201d (not available)");
    EXPECT_FALSE(favorite->isVolume());
    EXPECT_GT(changes, 0);

    ASSERT_EQ(mount("tessera-fav", point.c_str(), "tmpfs", 0, "size=64k"), 0);
    EXPECT_TRUE(MainQueue::shared().runUntil([&] { return favorite->enabled(); }, 5s));
    EXPECT_EQ(favorite->name(), "volume");
    EXPECT_TRUE(favorite->isVolume());
    umount(point.c_str());
}

// Opened favourites keep following their folders after their windows close; that must not keep
// a disk busy: the user can still unmount it, and its favourites grey out.
TEST(FavoriteManagerTest, AFollowedVolumeCanStillBeUnmounted) {
    TemporaryDirectory home;
    const std::string point = home.makeDirectory("stick");
    if (mount("tessera-stick", point.c_str(), "tmpfs", 0, "size=256k") != 0)
        GTEST_SKIP() << "mounting a tmpfs is refused here (" << std::strerror(errno)
                     << "); the volume events are not exercised";
    std::filesystem::create_directory(point + "/photos");
    std::ofstream(point + "/photos/one.jpg") << std::string(4096, 'x');
    FavoriteManager manager(home / "settings.json", 1);
    manager.load();
    ASSERT_TRUE(manager.startWatchingVolumes(MainQueue::shared()));
    std::vector<std::shared_ptr<FileController>> controllers;
    for (const std::string& path : {point, point + "/photos"}) {
        const std::shared_ptr<Favorite> favorite = manager.at(manager.add(path, true).first);
        controllers.push_back(FileController::create(path));
        favorite->setFileController(controllers.back());
    }
    for (const auto& controller : controllers)
        ASSERT_TRUE(
            MainQueue::shared().runUntil([&] { return controller->rootFile() != nullptr; }, 10s));
    // Without a descriptor on it, a folder renamed on the disk is still followed.
    std::filesystem::rename(point + "/photos", point + "/pictures");
    // A folder being read again holds its descriptor while it is read, as any reader would;
    // once both are at rest nothing may be held.
    EXPECT_TRUE(MainQueue::shared().runUntil(
        [&] {
            return controllers[1]->rootPath() == point + "/pictures" &&
                   std::ranges::all_of(controllers, [](const auto& controller) {
                       return controller->scanOperationCount() == 0 &&
                              controller->pendingUpdateCount() == 0;
                   });
        },
        5s));
    const auto start = std::chrono::steady_clock::now();
    const int unmounted = umount(point.c_str());
    const int reason = errno;
    if (unmounted != 0) umount2(point.c_str(), MNT_DETACH);
    ASSERT_EQ(unmounted, 0) << "umount: " << std::strerror(reason);
    EXPECT_TRUE(MainQueue::shared().runUntil(
        [&] { return !manager.at(0)->enabled() && !manager.at(1)->enabled(); }, 5s));
    std::cout << "umount to greyed-out favourites: "
              << std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                     .count()
              << " ms\n";
    EXPECT_EQ(manager.at(1)->fileController(), nullptr);
}

} // namespace
} // namespace tessera
