// The enumerations that choose how a tree is pictured: the graph's type and the tree map's
// layout, with the names that settings files and the command line give them.
#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace tessera {

/// Which layout the graph shows.
enum class GraphType { pieChart, treeMap };
inline constexpr std::array allGraphTypes{GraphType::pieChart, GraphType::treeMap};

constexpr std::string_view rawValue(GraphType type) {
    return type == GraphType::pieChart ? "pieChart" : "treeMap";
}

constexpr std::optional<GraphType> graphTypeNamed(std::string_view name) {
    if (name == "pieChart") return GraphType::pieChart;
    if (name == "treeMap") return GraphType::treeMap;
    return std::nullopt;
}

/// Where the tree map's next row goes: all from one edge (stack), alternating edges (snake),
/// turning around the remaining area (spiral), or turning and alternating (spiralSnake).
enum class TreeMapLayout { stack, snake, spiral, spiralSnake };
inline constexpr std::array allTreeMapLayouts{TreeMapLayout::stack, TreeMapLayout::snake,
                                              TreeMapLayout::spiral, TreeMapLayout::spiralSnake};

std::string_view rawValue(TreeMapLayout layout);
std::optional<TreeMapLayout> treeMapLayoutNamed(std::string_view name);

} // namespace tessera
