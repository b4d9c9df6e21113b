// The four ways the tree map places a folder's rows, and the names that settings files and the
// command line give them.
#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace tessera {

/// Where the next row goes: all from one edge (stack), alternating edges (snake), turning
/// around the remaining area (spiral), or turning and alternating (spiralSnake).
enum class TreeMapLayout { stack, snake, spiral, spiralSnake };
inline constexpr std::array allTreeMapLayouts{TreeMapLayout::stack, TreeMapLayout::snake,
                                              TreeMapLayout::spiral, TreeMapLayout::spiralSnake};

std::string_view rawValue(TreeMapLayout layout);
std::optional<TreeMapLayout> treeMapLayoutNamed(std::string_view name);

} // namespace tessera
