// Display names that tell favourites apart: each is named by the last component of its path,
// and favourites whose names would be equal take more components, from the end, as a detail
// ("Documents – me", "Documents – Backup").
#pragma once

#include "platform/Volumes.h"

#include <string>
#include <vector>

namespace tessera {

/// The components a location is shown by: the volume's name (its label, else the last
/// component of its mount point) followed by the components inside the volume; on the root
/// file system the plain components, "/" first.
std::vector<std::string> displayComponents(const std::string& path,
                                           const std::vector<platform::Mount>& mounts);
/// "/", then each component of an absolute path.
std::vector<std::string> plainComponents(const std::string& path);

struct UniqueNameInput {
    std::vector<std::string> display; // as displayComponents() gives them
    std::string path;                 // the location itself
};

/// The unique names of `items`, in their order.
std::vector<std::string> uniqueDisplayNames(const std::vector<UniqueNameInput>& items);

} // namespace tessera
