// The graph's settings as one table: for each, its key in settings.json, its type, its default,
// the values it allows and what a value outside them becomes, how the View menu steps it, and
// the option of `tessera render` that sets it. The settings file's reader and writer, the View
// menu and the command line all read it; the defaults themselves are Settings' own.
#pragma once

#include "settings/Settings.h"

#include <optional>
#include <span>
#include <string_view>

namespace tessera {

/// Every setting of the graph, in the order of their keys.
enum class SettingKey {
    animationSpeed,
    beginLayoutOnBottomEdge,
    colorMode,
    cushions,
    directoryBorderRatio,
    graphLevels,
    graphType,
    keepAspectRatioDuringZoom,
    mergeThreshold,
    sameScale,
    showNames,
    showVolumeAvailableSpace,
    sizeMode,
    treeMapLayout,
};

enum class SettingType { boolean, integer, real, choice };

/// What a value outside a setting's range becomes.
enum class OutOfRange { nearest, byDefault };

/// One setting. Values of every type pass as numbers: a boolean is 0 or 1, a choice the position
/// of its enumerator.
struct SettingDefinition {
    SettingKey id;
    std::string_view key;
    SettingType type;
    /// Allowed values: `least` (left out when `leastExcluded`) to `most`.
    double least = 0;
    double most = 0;
    bool leastExcluded = false;
    OutOfRange outOfRange = OutOfRange::nearest;
    /// The View menu's stepper adds `step`, or multiplies by it when `stepMultiplies`; 0 when
    /// the menu offers no stepper.
    double step = 0;
    bool stepMultiplies = false;
    /// The option of `tessera render` that sets it; empty when none.
    std::string_view flag = {};
    /// The names of a choice's values, in the order of its enumeration.
    std::span<const std::string_view> names = {};
    double (*get)(const Settings&) = nullptr;
    void (*set)(Settings&, double) = nullptr;

    double byDefault() const { return get(Settings{}); }
    bool allows(double value) const;
    /// What `value` becomes: itself when allowed.
    double corrected(double value) const;
    /// The value `steps` of the stepper's steps away from `value` (−1: back), none when that
    /// leaves the range.
    std::optional<double> stepped(double value, int steps) const;
    /// The name of a choice's value, or none.
    std::optional<double> named(std::string_view name) const;
};

/// Every setting, in the order of SettingKey.
std::span<const SettingDefinition> settingsTable();
const SettingDefinition& settingDefinition(SettingKey id);

} // namespace tessera
