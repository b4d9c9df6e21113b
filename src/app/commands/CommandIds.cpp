#include "app/commands/CommandIds.h"

namespace tessera::command {

Stepper stepper(SettingKey setting) {
    switch (setting) {
    case SettingKey::animationSpeed:
        return {{"decreaseAnimationSpeed"}, {"increaseAnimationSpeed"}, {"resetAnimationSpeed"}};
    case SettingKey::mergeThreshold:
        return {{"decreaseMergeThreshold"}, {"increaseMergeThreshold"}, {"resetMergeThreshold"}};
    case SettingKey::graphLevels:
        return {{"decreaseGraphLevels"}, {"increaseGraphLevels"}, {"resetGraphLevels"}};
    case SettingKey::directoryBorderRatio:
        return {{"decreaseDirectoryBorderRatio"},
                {"increaseDirectoryBorderRatio"},
                {"resetDirectoryBorderRatio"}};
    default:
        return {}; // the View menu steps no other setting
    }
}

} // namespace tessera::command
