// What a location given by the user is: a folder (symbolic links followed, as du and file
// managers follow `link/`), a regular file (a snapshot), or something that is neither and is
// never opened (a FIFO or a device would block or be read without end).
#pragma once

#include <string>

namespace tessera::platform {

struct Location {
    /// A pipe (a FIFO, or /dev/stdin fed by one) is read as it streams by, where snapshots are
    /// read; opening one for a folder would wait for a writer.
    enum class Kind { folder, regularFile, pipe, other, missing };
    Kind kind = Kind::missing;
    /// The path to open: for a symbolic link to a folder, the folder's own path.
    std::string path;
    /// errno of a failed look-up (missing).
    int error = 0;
};

Location classifyLocation(const std::string& path);

} // namespace tessera::platform
