// Every command's id: the name a window finds it by (its QAction's object name), in this
// desktop's words. Code names commands through these constants, so that a mistyped id does not
// compile.
#pragma once

#include "model/FileEnums.h"
#include "model/ViewEnums.h"
#include "settings/SettingsTable.h"

#include <string_view>

namespace tessera {

struct CommandId {
    std::string_view name;
    friend bool operator==(const CommandId&, const CommandId&) = default;
};

namespace command {

// File
inline constexpr CommandId openFolder{"openFolder"};
inline constexpr CommandId openSnapshot{"openSnapshot"};
inline constexpr CommandId compareTrees{"compareTrees"};
inline constexpr CommandId exportSnapshot{"exportSnapshot"};
inline constexpr CommandId savePicture{"savePicture"};
inline constexpr CommandId showStatistics{"showStatistics"};
inline constexpr CommandId showEnclosingFolder{"showEnclosingFolder"}; // the graph's
inline constexpr CommandId preview{"preview"};
inline constexpr CommandId showInFileManager{"showInFileManager"};
inline constexpr CommandId openTerminal{"openTerminal"};
inline constexpr CommandId excludeFromChart{"excludeFromChart"};
inline constexpr CommandId copyPath{"copyPath"};
inline constexpr CommandId showInGraph{"showInGraph"};
inline constexpr CommandId close{"close"};
inline constexpr CommandId quit{"quit"};
// Edit
inline constexpr CommandId moveToTrash{"moveToTrash"};
inline constexpr CommandId find{"find"};
inline constexpr CommandId cut{"cut"};
inline constexpr CommandId copy{"copy"};
inline constexpr CommandId paste{"paste"};
inline constexpr CommandId selectAll{"selectAll"};
// View
inline constexpr CommandId toggleOutline{"toggleOutline"};
inline constexpr CommandId toggleFullScreen{"toggleFullScreen"};
inline constexpr CommandId toggleShowNames{"toggleShowNames"};
inline constexpr CommandId toggleCushions{"toggleCushions"};
inline constexpr CommandId toggleSameScale{"toggleSameScale"};
inline constexpr CommandId toggleShowVolumeAvailableSpace{"toggleShowVolumeAvailableSpace"};
inline constexpr CommandId toggleCountHardLinksOnce{"toggleCountHardLinksOnce"};
inline constexpr CommandId toggleKeepAspectRatioDuringZoom{"toggleKeepAspectRatioDuringZoom"};
inline constexpr CommandId toggleBeginLayoutOnBottomEdge{"toggleBeginLayoutOnBottomEdge"};
// Go
inline constexpr CommandId goBack{"goBack"};
inline constexpr CommandId goForward{"goForward"};
// Window and Help
inline constexpr CommandId minimize{"minimize"};
inline constexpr CommandId zoom{"zoom"};
inline constexpr CommandId bringAllToFront{"bringAllToFront"};
inline constexpr CommandId whatsNew{"whatsNew"};
inline constexpr CommandId website{"website"};
inline constexpr CommandId showFavorites{"showFavorites"};
inline constexpr CommandId showLogs{"showLogs"};
inline constexpr CommandId showDetailedLogs{"showDetailedLogs"};
inline constexpr CommandId about{"about"};
// The outline's
inline constexpr CommandId selectEnclosingFolder{"selectEnclosingFolder"};
// The favourites window's
inline constexpr CommandId openFavorite{"openFavorite"};
inline constexpr CommandId keepFavorite{"keepFavorite"};
inline constexpr CommandId favoriteSettings{"favoriteSettings"};
inline constexpr CommandId addFavorite{"addFavorite"};
inline constexpr CommandId removeFavorite{"removeFavorite"};

/// The choice of a graph setting's value: named as the value is in settings files.
constexpr CommandId choice(GraphType type) {
    return {rawValue(type)};
}
inline CommandId choice(SizeMode mode) {
    return {rawValue(mode)};
}
inline CommandId choice(ColorMode mode) {
    return {rawValue(mode)};
}
inline CommandId choice(TreeMapLayout layout) {
    return {rawValue(layout)};
}

/// The three commands of a numeric setting's stepper in the View menu.
struct Stepper {
    CommandId decrease;
    CommandId increase;
    CommandId reset;
};
Stepper stepper(SettingKey setting);

} // namespace command
} // namespace tessera
