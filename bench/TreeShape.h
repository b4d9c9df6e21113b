// A generated tree shaped like a real home folder, for the tree benchmarks.
//
// Name lengths follow what real folders hold: short source and config names, dated camera
// names, long hashed cache and git object names. The average comes out near 19 bytes, close to
// the 18.9 bytes measured over /usr on Debian 12.
#pragma once

#include "model/Directory.h"

#include <algorithm>
#include <random>
#include <string>

namespace tessera::bench {

/// What the names and folders look like. `home`: the names above, folders up to 12 deep.
/// `varied`: as a long-used disk is, folders up to 14 deep, a few huge folders among many small
/// ones, and one name in five with spaces and letters beyond ASCII (accents, Cyrillic, CJK).
enum class TreeVariety { home, varied };

inline std::string variedName(std::mt19937_64& random, bool directory) {
    static const char* const words[] = {
        "Résumé", "Überweisung", "März",   "Fotos", "été",   "Année", "façade",
        "Отчёт",  "фото",        "отпуск", "写真",  "資料",  "会議",  "Ångström",
        "naïve",  "Øresund",     "ñandú",  "crème", "draft", "final", "copy of"};
    static const char* const extensions[] = {".pdf", ".docx", ".jpg", ".txt", ".odt", ".png"};
    const auto pick = [&](auto& list) { return list[random() % std::size(list)]; };
    std::string name = std::string(pick(words)) + " " + pick(words);
    if (random() % 2 == 0) name += " " + std::to_string(2019 + random() % 6);
    return directory ? name : name + pick(extensions);
}

inline std::string realisticName(std::mt19937_64& random, bool directory) {
    static const char* const words[] = {
        "src",    "lib",     "docs",         "test",     "build",     "config",   "assets",
        "images", "cache",   "node_modules", "Projects", "Downloads", "Pictures", "backup",
        "vendor", "include", "resources",    "share",    "local",     "modules"};
    static const char* const extensions[] = {".txt", ".js",  ".py",  ".cpp", ".h",    ".json",
                                             ".md",  ".png", ".jpg", ".so",  ".html", ".css",
                                             ".o",   ".pdf", ".mp3", ".xml", ".go",   ".rs"};
    const auto pick = [&](auto& list) { return list[random() % std::size(list)]; };
    std::string name;
    switch (random() % 10) {
    case 0: // git object or cache entry: 38 hex digits
        for (int i = 0; i < 38; ++i)
            name += "0123456789abcdef"[random() % 16];
        return name;
    case 1: // camera file
        name = "IMG_2023" + std::to_string(1000 + random() % 9000) + "_" +
               std::to_string(100000 + random() % 900000);
        return directory ? name : name + ".jpg";
    case 2:
    case 3: // word plus number
        name = std::string(pick(words)) + "-" + std::to_string(random() % 1000);
        break;
    default: { // a lower-case word of realistic length
        const std::size_t length = 4 + random() % 19;
        for (std::size_t i = 0; i < length; ++i)
            name += static_cast<char>('a' + random() % 26);
    }
    }
    return directory ? name : name + pick(extensions);
}

struct GeneratedTree {
    DirectoryPtr root;
    std::size_t entries = 0;
    std::size_t nameBytes = 0;
};

/// How file sizes are drawn. `spread`: most files under 40 KB and one in seven anywhere up to
/// 50 MB, so that many files are of similar, large size (the hardest case for a tree map, where
/// they all stay visible). `heavyTailed`: log-normal around a median of 3 KB (σ = 2.5 in natural
/// log), as surveys of real file systems find, where a few large files hold most of the bytes.
enum class FileSizes { spread, heavyTailed };

/// About `entries` nodes: directories of 2 to 40 entries, a few large ones, depth up to 12.
inline GeneratedTree generateHomeTree(std::size_t entries, std::uint64_t seed = 42,
                                      FileSizes sizes = FileSizes::spread,
                                      TreeVariety variety = TreeVariety::home) {
    std::mt19937_64 random(seed);
    GeneratedTree tree;
    const Date when = Date::fromUnixSeconds(1'650'000'000);
    // Builds bottom-up through an explicit budget per directory.
    struct Builder {
        std::mt19937_64& random;
        GeneratedTree& tree;
        Date when;
        FileSizes sizes;
        TreeVariety variety;
        std::string drawName(bool directory) {
            if (variety == TreeVariety::varied && random() % 5 == 0)
                return variedName(random, directory);
            return realisticName(random, directory);
        }
        std::lognormal_distribution<double> heavy{8.0, 2.5};
        std::int64_t fileSize() {
            if (sizes == FileSizes::heavyTailed)
                return static_cast<std::int64_t>(std::min(heavy(random), 1e12));
            return static_cast<std::int64_t>(random() % (random() % 7 == 0 ? 50'000'000 : 40'000));
        }
        DirectoryPtr build(std::string name, std::size_t budget, int depth) {
            std::vector<FilePtr> contents;
            std::size_t used = 0;
            const bool varied = variety == TreeVariety::varied;
            const bool huge = varied && depth <= 3 && random() % 60 == 0;
            const bool large = random() % 50 == 0;
            const std::size_t files = huge    ? 20'000 + random() % 40'000
                                      : large ? 200 + random() % 2000
                                              : 2 + random() % 25;
            for (std::size_t i = 0; i < files && used < budget; ++i, ++used) {
                std::string fileName = drawName(false);
                tree.nameBytes += fileName.size();
                const std::int64_t size = fileSize();
                contents.push_back(
                    File::create(fileName, size, (size + 4095) / 4096 * 4096, when, when));
            }
            const int deepest = variety == TreeVariety::varied ? 14 : 12;
            while (used < budget && depth < deepest) {
                const std::size_t share = std::min(budget - used, 1 + random() % (budget / 3 + 2));
                std::string childName = drawName(true);
                tree.nameBytes += childName.size();
                contents.push_back(build(childName, share - 1, depth + 1));
                used += share;
            }
            return Directory::create(name, when, when, std::move(contents));
        }
    };
    Builder builder{random, tree, when, sizes, variety};
    tree.root = builder.build("", entries - 1, 0);
    // Count what was built (the budget is approximate near the depth limit).
    std::vector<const Directory*> pending{tree.root.get()};
    tree.entries = 0;
    while (!pending.empty()) {
        const Directory* directory = pending.back();
        pending.pop_back();
        ++tree.entries;
        for (const File* child : directory->contents()) {
            if (const Directory* sub = child->asDirectory())
                pending.push_back(sub);
            else
                ++tree.entries;
        }
    }
    return tree;
}

} // namespace tessera::bench
