// The app's build number. Settings files and the user default "lastVersion" record it; starting
// a newer build migrates what an older one stored.
#pragma once

namespace tessera {

inline constexpr int kBuild = 86;

/// The project's home page, as the AppStream metainfo names it.
inline constexpr const char* kHomePage = "https://vantorel.org/tessera/";

} // namespace tessera
