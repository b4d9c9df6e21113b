#include "graph/PictureKey.h"

#include "settings/SettingsTable.h"

namespace tessera {

bool PictureKey::samePicture(const PictureKey& other) const {
    if (file != other.file || drawing != other.drawing || treeRevision != other.treeRevision ||
        viewSize.width != other.viewSize.width || viewSize.height != other.viewSize.height ||
        scale != other.scale || dark != other.dark)
        return false;
    for (const SettingDefinition& setting : settingsTable())
        if (setting.id != SettingKey::animationSpeed &&
            setting.get(settings) != setting.get(other.settings))
            return false;
    return true;
}

} // namespace tessera
