// The user's preferences: the favourites and every view setting of the graph, kept in
// settings.json in the configuration folder, written pretty-printed with sorted keys.
#pragma once

#include "cleanups/Cleanup.h"
#include "favorites/Favorite.h"
#include "model/FileEnums.h"
#include "model/ViewEnums.h"

#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessera {

struct Settings {
    int version = 0; // the build that wrote the file
    std::vector<Favorite::Stored> favorites;
    /// The user's cleanups; none kept yet: the defaults (so that new defaults reach users who
    /// never edited theirs).
    std::optional<std::vector<Cleanup>> cleanups;
    std::vector<Cleanup> cleanupsOrDefaults() const {
        return cleanups ? *cleanups : defaultCleanups();
    }
    GraphType graphType = GraphType::pieChart;
    SizeMode sizeMode = SizeMode::fileSize;
    ColorMode colorMode = ColorMode::hueWheel;
    double animationSpeed = 1.0;
    double mergeThreshold = 2.0;
    bool showVolumeAvailableSpace = false;
    bool showNames = true; // written on the picture where they fit
    bool cushions = false; // the tree map's tiles shaded as cushions
    int graphLevels = 8;
    TreeMapLayout treeMapLayout = TreeMapLayout::spiralSnake;
    double directoryBorderRatio = 0.0;
    bool keepAspectRatioDuringZoom = true;
    bool beginLayoutOnBottomEdge = false;
    /// Trees compared are drawn at one scale, the same bytes in the same area, each tree's
    /// root taking its share of the largest; otherwise each fills the view.
    bool sameScale = false;

    /// All sixteen keys, sorted, two-space indentation, "key" : value.
    std::string encode() const;
    /// Absent keys take their defaults; a missing version, a value of the wrong type or an
    /// unknown name fails the whole file.
    /// Fails when the text is no settings at all. A value or favourite that cannot be used is
    /// left out (the default takes its place, a favourite's bad filter is dropped) and
    /// `repairs`, when given, says what was left out.
    [[nodiscard]] static std::expected<Settings, std::string>
    decode(std::string_view json, std::vector<std::string>* repairs = nullptr);
};

/// settings.json in the configuration folder ($XDG_CONFIG_HOME/tessera, else ~/.config/tessera).
std::string settingsPath();

struct LoadedSettings {
    Settings settings;
    /// Why the file could not be used, when it could not; it was then kept aside as
    /// `keptAs` and the defaults are used.
    std::string problem;
    /// What was left out of a file that was otherwise usable; the file as it was is then kept
    /// as `keptAs` too.
    std::vector<std::string> repairs;
    std::string keptAs;
    /// There was no settings file yet.
    bool firstStart = false;
};

/// Reads the settings at `path`; defaults (with `version`) when there is no file. A file that
/// cannot be read or decoded is renamed with a ".corrupt" suffix first, so that the next save
/// does not destroy the user's favourites and preferences.
LoadedSettings loadSettings(const std::string& path, int version);

/// Writes the settings whole and atomically, creating the folder when needed.
[[nodiscard]] std::expected<void, std::string> saveSettings(const Settings& settings,
                                                            const std::string& path);

} // namespace tessera
