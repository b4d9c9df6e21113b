#include "model/ViewEnums.h"

namespace tessera {

std::string_view rawValue(TreeMapLayout layout) {
    switch (layout) {
    case TreeMapLayout::stack:
        return "stack";
    case TreeMapLayout::snake:
        return "snake";
    case TreeMapLayout::spiral:
        return "spiral";
    case TreeMapLayout::spiralSnake:
        return "spiralSnake";
    }
    return "spiralSnake";
}

std::optional<TreeMapLayout> treeMapLayoutNamed(std::string_view name) {
    for (const TreeMapLayout layout : allTreeMapLayouts)
        if (rawValue(layout) == name) return layout;
    return std::nullopt;
}

} // namespace tessera
