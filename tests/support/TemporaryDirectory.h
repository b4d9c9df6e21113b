// A real folder under the system's temporary directory, removed with everything in it.
#pragma once

#include <string>

namespace tessera::testing {

class TemporaryDirectory {
public:
    TemporaryDirectory();
    ~TemporaryDirectory();
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& relative) const { return path_ + "/" + relative; }

    /// Creates a file of `size` bytes (written, so allocated), and its folders, and returns its
    /// path.
    std::string writeFile(const std::string& relative, std::size_t size) const;
    std::string makeDirectory(const std::string& relative) const;
    /// Creates a chain of `depth` folders named "d" at `relative`, one inside the other, made
    /// relative to each other so that it may go deeper than paths allow; the deepest holds the
    /// folders "left" and "right", each with a file "bottom" of 5 bytes.
    void makeChain(const std::string& relative, int depth) const;

private:
    std::string path_;
};

} // namespace tessera::testing
