#include "graph/PictureKey.h"

#include "settings/SettingsTable.h"

#include <cassert>

namespace tessera {

PictureKey::PictureKey(const File* shown, const DrawGraph* shownBy, std::uint64_t revision,
                       DrawSize size, double pixelScale, bool darkAppearance,
                       const Settings& graphSettings)
    : file(shown), drawing(shownBy), treeRevision(revision), viewSize(size), scale(pixelScale),
      dark(darkAppearance), sizeMode(graphSettings.sizeMode) {
    const std::span<const SettingDefinition> table = settingsTable();
    assert(table.size() <= kMostSettings);
    for (std::size_t i = 0; i < table.size() && i < kMostSettings; ++i)
        if (table[i].id != SettingKey::animationSpeed) settings[i] = table[i].get(graphSettings);
}

bool PictureKey::samePicture(const PictureKey& other) const {
    return file == other.file && drawing == other.drawing && treeRevision == other.treeRevision &&
           viewSize.width == other.viewSize.width && viewSize.height == other.viewSize.height &&
           scale == other.scale && dark == other.dark && settings == other.settings;
}

} // namespace tessera
