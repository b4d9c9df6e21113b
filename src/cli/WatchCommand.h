// `tessera scan PATH --watch`: scans, prints the summary as one JSON line, then follows the
// folder and prints one JSON line for every change the live tree goes through, until
// interrupted or until the folder is deleted.
#pragma once

#include <memory>
#include <string>

namespace tessera {
class Predicate;
}

namespace tessera::cli {

int watchFolder(const std::string& path, std::shared_ptr<const Predicate> exclusion);

} // namespace tessera::cli
