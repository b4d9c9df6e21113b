#include "settings/Settings.h"

#include "platform/Files.h"
#include "settings/SettingsTable.h"
#include "support/TemporaryDirectory.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace tessera {
namespace {

using namespace tessera::testing;
namespace fs = std::filesystem;

TEST(SettingsTest, WrittenPrettyWithSortedKeysAndReadBack) {
    Settings defaults;
    defaults.version = 97;
    EXPECT_EQ(defaults.encode(), "{\n"
                                 "  \"animationSpeed\" : 1.0,\n"
                                 "  \"beginLayoutOnBottomEdge\" : false,\n"
                                 "  \"colorMode\" : \"hueWheel\",\n"
                                 "  \"cushions\" : false,\n"
                                 "  \"directoryBorderRatio\" : 0.0,\n"
                                 "  \"favorites\" : [],\n"
                                 "  \"graphLevels\" : 8,\n"
                                 "  \"graphType\" : \"pieChart\",\n"
                                 "  \"keepAspectRatioDuringZoom\" : true,\n"
                                 "  \"mergeThreshold\" : 2.0,\n"
                                 "  \"sameScale\" : false,\n"
                                 "  \"showNames\" : true,\n"
                                 "  \"showVolumeAvailableSpace\" : false,\n"
                                 "  \"sizeMode\" : \"fileSize\",\n"
                                 "  \"treeMapLayout\" : \"spiralSnake\",\n"
                                 "  \"version\" : 97\n"
                                 "}");

    Settings changed = defaults;
    changed.graphType = GraphType::treeMap;
    changed.sizeMode = SizeMode::allocatedFileSize;
    changed.colorMode = ColorMode::modificationDate;
    changed.animationSpeed = 0.1;
    changed.mergeThreshold = 3.75;
    changed.showVolumeAvailableSpace = true;
    changed.showNames = false;
    changed.cushions = true;
    changed.sameScale = true;
    changed.graphLevels = 12;
    changed.treeMapLayout = TreeMapLayout::stack;
    changed.directoryBorderRatio = 0.05;
    changed.keepAspectRatioDuringZoom = false;
    changed.beginLayoutOnBottomEdge = true;
    changed.favorites.push_back(
        {std::string("bookmark\0bytes\xff", 15), true, std::string("or(path contains \"\\xff\")")});
    changed.favorites.push_back({std::nullopt, false, std::nullopt});
    auto read = Settings::decode(changed.encode());
    ASSERT_TRUE(read.has_value()) << read.error();
    EXPECT_EQ(read->encode(), changed.encode());
    EXPECT_EQ(read->favorites[0].bookmarkData, changed.favorites[0].bookmarkData);
    EXPECT_DOUBLE_EQ(read->animationSpeed, 0.1);
}

TEST(SettingsTest, AbsentKeysTakeDefaultsAndOnlyFilesWithoutSettingsFail) {
    auto minimal = Settings::decode(R"({"version": 3, "animationSpeed": 2, "unknown": [1]})");
    ASSERT_TRUE(minimal.has_value()) << minimal.error();
    EXPECT_EQ(minimal->version, 3);
    EXPECT_DOUBLE_EQ(minimal->animationSpeed, 2.0); // a whole number is a fine real
    EXPECT_TRUE(minimal->keepAspectRatioDuringZoom);
    EXPECT_EQ(minimal->graphLevels, 8);
    // No settings at all: the whole file fails.
    for (const char* bad : {R"({})", R"({"version": "3"})", R"([1, 2])", "{\"version\": 3"})
        EXPECT_FALSE(Settings::decode(bad).has_value()) << bad;
    // One value that cannot be used: left out and said, the rest kept.
    for (const char* bad : {
             R"({"version": 3, "graphLevels": 10, "graphType": "sunburst"})",
             R"({"version": 3, "graphLevels": 10, "treeMapLayout": "zigzag"})",
             R"({"version": 3, "graphLevels": 10, "animationSpeed": "fast"})",
             R"({"version": 3, "graphLevels": 10, "favorites": {}})",
             R"({"version": 3, "graphLevels": 10, "favorites": [{"bookmarkData": "***"}]})",
             R"({"version": 3, "graphLevels": 10, "favorites": [7]})",
         }) {
        std::vector<std::string> repairs;
        const auto decoded = Settings::decode(bad, &repairs);
        ASSERT_TRUE(decoded.has_value()) << bad;
        EXPECT_EQ(decoded->graphLevels, 10) << bad;
        EXPECT_EQ(repairs.size(), 1u) << bad;
    }
}

// Values of the right kind outside a setting's range become the nearest allowed value or the
// default, as the settings table says, each with a line naming the key; the rest of the file is
// kept.
TEST(SettingsTest, ValuesOutOfRangeAreCorrectedAndTheRestKept) {
    std::vector<std::string> repairs;
    auto read = Settings::decode(R"({"version": 3, "graphLevels": -5, "directoryBorderRatio": 99,
        "mergeThreshold": -1e308, "animationSpeed": 0, "sizeMode": "childCount",
        "favorites": [{"isFilterPredicateEnabled": true}]})",
                                 &repairs);
    std::string log;
    for (const std::string& repair : repairs)
        log += repair + "\n";
    ASSERT_TRUE(read.has_value()) << read.error();
    EXPECT_EQ(read->graphLevels, 8);                   // nearest
    EXPECT_DOUBLE_EQ(read->directoryBorderRatio, 0.3); // nearest
    EXPECT_DOUBLE_EQ(read->mergeThreshold, 2.0);       // the default
    EXPECT_DOUBLE_EQ(read->animationSpeed, 1.0);       // the default
    EXPECT_EQ(read->sizeMode, SizeMode::childCount);
    EXPECT_EQ(read->favorites.size(), 1U);
    for (const char* key :
         {"graphLevels", "directoryBorderRatio", "mergeThreshold", "animationSpeed"})
        EXPECT_NE(log.find(std::string("\"") + key + "\" is out of range"), std::string::npos)
            << key << " in " << log;
    EXPECT_EQ(log.find("sizeMode"), std::string::npos);

    // What the View menu's steppers allow is what the file may hold.
    for (const SettingDefinition& setting : settingsTable()) {
        SCOPED_TRACE(std::string(setting.key));
        EXPECT_TRUE(setting.allows(setting.byDefault()));
        int steps = 0;
        for (auto next = setting.stepped(setting.byDefault(), 1); next && steps < 100;
             next = setting.stepped(*next, 1), ++steps)
            EXPECT_TRUE(setting.allows(*next));
    }
    const SettingDefinition& border = settingDefinition(SettingKey::directoryBorderRatio);
    double ratio = 0;
    for (int i = 0; i < 30; ++i)
        ratio = border.stepped(ratio, 1).value();
    EXPECT_EQ(ratio, 0.3); // whole hundredths, however many steps
    EXPECT_FALSE(border.stepped(ratio, 1));
    EXPECT_FALSE(settingDefinition(SettingKey::mergeThreshold).stepped(1, -1)); // not 0
}

TEST(SettingsTest, AFileThatCannotBeUsedIsKeptAsideBeforeDefaultsAreUsed) {
    TemporaryDirectory folder;
    ::setenv("XDG_CONFIG_HOME", folder.path().c_str(), 1);
    const std::string path = settingsPath();
    EXPECT_EQ(path, folder.path() + "/tessera/settings.json");

    // First start: no file, defaults with this build's version, nothing kept aside.
    LoadedSettings first = loadSettings(path, 42);
    EXPECT_EQ(first.settings.version, 42);
    EXPECT_TRUE(first.problem.empty());

    Settings saved = first.settings;
    saved.graphLevels = 10;
    saved.favorites.push_back({std::string("data"), false, std::nullopt});
    ASSERT_TRUE(saveSettings(saved, path).has_value());
    LoadedSettings again = loadSettings(path, 43);
    EXPECT_EQ(again.settings.graphLevels, 10);
    EXPECT_EQ(again.settings.version, 42) << "the stored version is kept";
    ASSERT_EQ(again.settings.favorites.size(), 1u);

    // Damaged: the user's favourites are still in the kept file, which the next save leaves
    // alone; a second damaged file does not overwrite the first one kept.
    const std::string damaged = saved.encode().substr(0, 80);
    std::ofstream(path) << damaged;
    LoadedSettings broken = loadSettings(path, 43);
    EXPECT_FALSE(broken.problem.empty());
    EXPECT_EQ(broken.keptAs, path + ".corrupt");
    EXPECT_EQ(broken.settings.graphLevels, 8);
    EXPECT_EQ(*platform::readWholeFile(path + ".corrupt"), damaged);
    EXPECT_FALSE(fs::exists(path));
    ASSERT_TRUE(saveSettings(broken.settings, path).has_value());
    std::ofstream(path) << "{";
    EXPECT_EQ(loadSettings(path, 43).keptAs, path + ".corrupt.2");
    EXPECT_EQ(*platform::readWholeFile(path + ".corrupt"), damaged);
    ::unsetenv("XDG_CONFIG_HOME");
}

// One unusable value is left out, not the whole file: a setting of the wrong kind takes its
// default, a favourite's filter that does not parse is dropped (the favourite stays), a favourite
// whose bookmark cannot be read is left out; the file as it was is kept beside it.
TEST(SettingsTest, WhatCannotBeUsedIsLeftOutAndTheRestKept) {
    TemporaryDirectory folder;
    const std::string path = folder / "settings.json";
    Settings saved;
    saved.version = 42;
    saved.graphLevels = 12;
    const Favorite kept(folder.makeDirectory("kept"), true);
    const Favorite filtered(folder.makeDirectory("filtered"), true);
    saved.favorites = {kept.stored(), filtered.stored(), kept.stored()};
    saved.favorites[1].filterPredicate = "path matches \"(unclosed\"";
    saved.favorites[1].isFilterPredicateEnabled = true;
    saved.favorites[0].countsHardLinksOnce = true;
    saved.favorites[1].countsHardLinksOnce = true;
    std::string json = saved.encode();
    // The second favourite's counting of hard links is no boolean.
    const std::string links = "\"countsHardLinksOnce\" : true";
    const std::size_t second = json.find(links, json.find(links) + 1);
    ASSERT_NE(second, std::string::npos) << json;
    json.replace(second, links.size(), "\"countsHardLinksOnce\" : \"yes\"");
    // The third favourite's bookmark is not base64; the size mode is a number.
    const std::size_t third = json.rfind("\"bookmarkData\" : \"") + 18;
    json.insert(third, "!!");
    const std::size_t mode = json.find("\"sizeMode\" : ");
    ASSERT_NE(mode, std::string::npos) << json;
    json.replace(mode, json.find(',', mode) - mode, "\"sizeMode\" : 7");
    ASSERT_TRUE(platform::writeFileAtomically(path, json).has_value());

    const LoadedSettings loaded = loadSettings(path, 43);
    EXPECT_TRUE(loaded.problem.empty()) << loaded.problem;
    EXPECT_EQ(loaded.settings.graphLevels, 12);
    EXPECT_EQ(loaded.settings.sizeMode, SizeMode::fileSize);
    ASSERT_EQ(loaded.settings.favorites.size(), 2u);
    EXPECT_EQ(loaded.settings.favorites[0].bookmarkData, kept.stored().bookmarkData);
    EXPECT_EQ(loaded.settings.favorites[1].bookmarkData, filtered.stored().bookmarkData);
    EXPECT_FALSE(loaded.settings.favorites[1].filterPredicate);
    EXPECT_FALSE(loaded.settings.favorites[1].isFilterPredicateEnabled);
    EXPECT_TRUE(loaded.settings.favorites[0].countsHardLinksOnce);
    EXPECT_FALSE(loaded.settings.favorites[1].countsHardLinksOnce);
    ASSERT_EQ(loaded.repairs.size(), 4u);
    EXPECT_NE(loaded.repairs[0].find("sizeMode"), std::string::npos) << loaded.repairs[0];
    EXPECT_NE(loaded.repairs[1].find("(unclosed"), std::string::npos) << loaded.repairs[1];
    EXPECT_NE(loaded.repairs[2].find("countsHardLinksOnce"), std::string::npos)
        << loaded.repairs[2];
    EXPECT_NE(loaded.repairs[3].find("base64"), std::string::npos) << loaded.repairs[3];
    // Nothing is lost: the file as it was sits beside the one the next save writes.
    EXPECT_EQ(loaded.keptAs, path + ".corrupt");
    EXPECT_EQ(*platform::readWholeFile(path + ".corrupt"), json);
    EXPECT_EQ(*platform::readWholeFile(path), json);
}

} // namespace
} // namespace tessera
