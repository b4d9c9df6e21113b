// Moving what older builds kept in the user defaults to where this build keeps it: the view
// settings and favourites into settings.json, renamed and retired keys tidied. Runs at start
// when the user defaults' "lastVersion" is older than this build.
#pragma once

#include <QSettings>
#include <expected>
#include <string>

namespace tessera {

/// Migrates from build `oldBuild`: `defaults` are the user defaults, `settingsPath` the
/// settings.json to write (with `build` as its version). Fails, saying why, when settings.json
/// cannot be written; the user defaults then keep the old keys for the next try.
[[nodiscard]] std::expected<void, std::string>
migrateSettings(int oldBuild, QSettings& defaults, const std::string& settingsPath, int build);

} // namespace tessera
