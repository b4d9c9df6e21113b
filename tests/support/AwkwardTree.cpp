#include "support/AwkwardTree.h"

#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace tessera::testing {

AwkwardTree::AwkwardTree() {
    const TemporaryDirectory& f = folder;
    f.makeDirectory("docs");
    f.writeFile("docs/report.txt", 12345);
    f.writeFile("docs/notes.md", 10);
    f.makeDirectory("docs/empty");
    f.makeDirectory("docs/deeper");
    f.makeDirectory("docs/deeper/still");
    f.writeFile("docs/deeper/still/leaf.bin", 70000);

    // Sparse: 64 MiB long, one page written.
    const std::string sparse = f / "sparse.img";
    const int fd = open(sparse.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0 || ftruncate(fd, 64 << 20) != 0 || pwrite(fd, "x", 1, 4096) != 1)
        throw std::runtime_error("cannot make the sparse file");
    close(fd);

    // A hard link is counted wherever it is met.
    f.writeFile("original.dat", 5000);
    if (link((f / "original.dat").c_str(), (f / "docs/hardlink.dat").c_str()) != 0)
        throw std::runtime_error("cannot link");

    // Links are measured, never followed.
    if (symlink("docs", (f / "link-to-docs").c_str()) != 0 ||
        symlink("/nonexistent/target/that/is/long", (f / "dangling").c_str()) != 0)
        throw std::runtime_error("cannot symlink");

    // Companions: "._kept" has no "kept" beside it, "._shown.txt"'s file exists.
    f.writeFile("shown.txt", 3);
    f.writeFile("._shown.txt", 4096);
    f.writeFile("._kept", 7);

    awkwardNames = {std::string("tab\there"),
                    std::string("new\nline"),
                    std::string("latin1-caf\xe9"),
                    std::string("\xff\xfe-bytes"),
                    std::string("back\\slash \"quoted\""),
                    std::string("\x1b[31mred")};
    f.makeDirectory("odd");
    for (const std::string& name : awkwardNames)
        f.writeFile("odd/" + name, name.size());
}

IndependentCount countIndependently(const std::string& root) {
    namespace fs = std::filesystem;
    IndependentCount count;
    auto measure = [&count, &root](const fs::path& path) {
        struct stat status;
        if (lstat(path.c_str(), &status) != 0) throw std::runtime_error("lstat failed");
        const bool isRoot = path == fs::path(root);
        if (S_ISDIR(status.st_mode)) {
            ++count.directories;
            if (!isRoot) ++count.entries;
            if (fs::is_empty(path)) ++count.leaves;
            return;
        }
        const std::string name = path.filename().string();
        if (name.starts_with("._") &&
            fs::exists(fs::symlink_status(path.parent_path() / name.substr(2))))
            return;
        if (!isRoot) ++count.entries;
        count.size += status.st_size;
        count.allocatedSize += status.st_blocks * 512;
        ++count.leaves;
    };
    measure(root);
    for (const auto& entry : fs::recursive_directory_iterator(root))
        measure(entry.path());
    return count;
}

} // namespace tessera::testing
