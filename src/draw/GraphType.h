// Which layout the graph shows.
#pragma once

#include <optional>
#include <string_view>

namespace tessera {

enum class GraphType { pieChart, treeMap };

constexpr std::string_view rawValue(GraphType type) {
    return type == GraphType::pieChart ? "pieChart" : "treeMap";
}

constexpr std::optional<GraphType> graphTypeNamed(std::string_view name) {
    if (name == "pieChart") return GraphType::pieChart;
    if (name == "treeMap") return GraphType::treeMap;
    return std::nullopt;
}

} // namespace tessera
