#include "settings/SettingsTable.h"

#include "model/FileEnums.h"
#include "model/ViewEnums.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace tessera {
namespace {

// Ratios are stepped in hundredths: sums that miss a multiple of the step by less than this are
// taken to be on it, so that repeated steps do not drift.
constexpr double kTolerance = 1e-9;

template <typename Enum, std::size_t N>
std::array<std::string_view, N> namesOf(const std::array<Enum, N>& values) {
    std::array<std::string_view, N> names;
    for (std::size_t i = 0; i < N; ++i)
        names[i] = rawValue(values[i]);
    return names;
}

template <auto Member> double getNumber(const Settings& settings) {
    return static_cast<double>(settings.*Member);
}

template <auto Member> void setNumber(Settings& settings, double value) {
    using Value = std::remove_reference_t<decltype(settings.*Member)>;
    if constexpr (std::is_same_v<Value, bool>)
        settings.*Member = value != 0;
    else
        settings.*Member = static_cast<Value>(value);
}

template <auto Member, auto& All> double getChoice(const Settings& settings) {
    const auto found = std::find(All.begin(), All.end(), settings.*Member);
    return static_cast<double>(found - All.begin());
}

template <auto Member, auto& All> void setChoice(Settings& settings, double value) {
    settings.*Member = All[static_cast<std::size_t>(value)];
}

template <auto Member> SettingDefinition boolean(SettingKey id, std::string_view key) {
    return {.id = id,
            .key = key,
            .type = SettingType::boolean,
            .least = 0,
            .most = 1,
            .get = getNumber<Member>,
            .set = setNumber<Member>};
}

template <auto Member, auto& All>
SettingDefinition choice(SettingKey id, std::string_view key,
                         std::span<const std::string_view> names) {
    return {.id = id,
            .key = key,
            .type = SettingType::choice,
            .least = 0,
            .most = static_cast<double>(All.size() - 1),
            .names = names,
            .get = getChoice<Member, All>,
            .set = setChoice<Member, All>};
}

const std::array<SettingDefinition, 14>& table() {
    static const auto graphTypes = namesOf(allGraphTypes);
    static const auto sizeModes = namesOf(allSizeModes);
    static const auto colorModes = namesOf(allColorModes);
    static const auto layouts = namesOf(allTreeMapLayouts);
    static const std::array<SettingDefinition, 14> definitions{
        // Durations are divided by the speed: it halves or doubles, within reason.
        SettingDefinition{.id = SettingKey::animationSpeed,
                          .key = "animationSpeed",
                          .type = SettingType::real,
                          .least = 1.0 / 64,
                          .most = 64,
                          .outOfRange = OutOfRange::byDefault,
                          .step = 2,
                          .stepMultiplies = true,
                          .get = getNumber<&Settings::animationSpeed>,
                          .set = setNumber<&Settings::animationSpeed>},
        boolean<&Settings::beginLayoutOnBottomEdge>(SettingKey::beginLayoutOnBottomEdge,
                                                    "beginLayoutOnBottomEdge"),
        choice<&Settings::colorMode, allColorModes>(SettingKey::colorMode, "colorMode", colorModes),
        boolean<&Settings::cushions>(SettingKey::cushions, "cushions"),
        SettingDefinition{.id = SettingKey::directoryBorderRatio,
                          .key = "directoryBorderRatio",
                          .type = SettingType::real,
                          .least = 0,
                          .most = 0.3,
                          .step = 0.01,
                          .flag = "--border",
                          .get = getNumber<&Settings::directoryBorderRatio>,
                          .set = setNumber<&Settings::directoryBorderRatio>},
        // The pie chart's rings: three thin outer rings and at least five thick ones.
        SettingDefinition{.id = SettingKey::graphLevels,
                          .key = "graphLevels",
                          .type = SettingType::integer,
                          .least = 8,
                          .most = 16,
                          .step = 1,
                          .flag = "--levels",
                          .get = getNumber<&Settings::graphLevels>,
                          .set = setNumber<&Settings::graphLevels>},
        choice<&Settings::graphType, allGraphTypes>(SettingKey::graphType, "graphType", graphTypes),
        boolean<&Settings::keepAspectRatioDuringZoom>(SettingKey::keepAspectRatioDuringZoom,
                                                      "keepAspectRatioDuringZoom"),
        // In points; nothing is drawn thinner. Layouts divide by it, so it stays above 0.
        SettingDefinition{.id = SettingKey::mergeThreshold,
                          .key = "mergeThreshold",
                          .type = SettingType::real,
                          .least = 0,
                          .most = 100,
                          .leastExcluded = true,
                          .outOfRange = OutOfRange::byDefault,
                          .step = 1,
                          .get = getNumber<&Settings::mergeThreshold>,
                          .set = setNumber<&Settings::mergeThreshold>},
        boolean<&Settings::sameScale>(SettingKey::sameScale, "sameScale"),
        boolean<&Settings::showNames>(SettingKey::showNames, "showNames"),
        boolean<&Settings::showVolumeAvailableSpace>(SettingKey::showVolumeAvailableSpace,
                                                     "showVolumeAvailableSpace"),
        choice<&Settings::sizeMode, allSizeModes>(SettingKey::sizeMode, "sizeMode", sizeModes),
        choice<&Settings::treeMapLayout, allTreeMapLayouts>(SettingKey::treeMapLayout,
                                                            "treeMapLayout", layouts),
    };
    return definitions;
}

} // namespace

bool SettingDefinition::allows(double value) const {
    if (!std::isfinite(value)) return false;
    if (type != SettingType::real && value != std::floor(value)) return false;
    const bool aboveLeast = leastExcluded ? value > least : value >= least - kTolerance;
    return aboveLeast && value <= most + kTolerance;
}

double SettingDefinition::corrected(double value) const {
    if (allows(value)) return value;
    if (outOfRange == OutOfRange::byDefault || !std::isfinite(value)) return byDefault();
    const double nearest = std::clamp(value, least, most);
    return type == SettingType::real ? nearest : std::round(nearest);
}

std::optional<double> SettingDefinition::stepped(double value, int steps) const {
    if (step == 0) return std::nullopt;
    double next = stepMultiplies ? value * std::pow(step, steps) : value + step * steps;
    if (!stepMultiplies) {
        // On a multiple of the step when it nearly is.
        const double multiple = std::round(next / step) * step;
        if (std::abs(next - multiple) < kTolerance) next = multiple;
        if (std::abs(next) < kTolerance) next = 0;
    }
    if (!allows(next)) return std::nullopt;
    return next;
}

std::optional<double> SettingDefinition::named(std::string_view name) const {
    const auto found = std::find(names.begin(), names.end(), name);
    if (found == names.end()) return std::nullopt;
    return static_cast<double>(found - names.begin());
}

std::span<const SettingDefinition> settingsTable() {
    return table();
}

const SettingDefinition& settingDefinition(SettingKey id) {
    return table()[static_cast<std::size_t>(id)];
}

} // namespace tessera
