#include "model/FileTypes.h"

#include "model/File.h"

#include <algorithm>
#include <cstdlib>
#include <fnmatch.h>
#include <fstream>
#include <iterator>
#include <sstream>

namespace tessera {
namespace {

std::string lowered(std::string_view text) {
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

bool startsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

bool hasWildcard(std::string_view glob) {
    return glob.find_first_of("*?[") != std::string_view::npos;
}

// The XDG data folders, most important first.
std::vector<std::string> dataFolders() {
    std::vector<std::string> folders;
    if (const char* home = std::getenv("XDG_DATA_HOME"); home != nullptr && *home != '\0')
        folders.emplace_back(home);
    else if (const char* user = std::getenv("HOME"); user != nullptr && *user != '\0')
        folders.push_back(std::string(user) + "/.local/share");
    const char* dirs = std::getenv("XDG_DATA_DIRS");
    std::stringstream list(dirs != nullptr && *dirs != '\0' ? dirs : "/usr/local/share:/usr/share");
    for (std::string folder; std::getline(list, folder, ':');)
        if (!folder.empty()) folders.push_back(folder);
    return folders;
}

} // namespace

std::string categoryTextKey(FileCategory category) {
    switch (category) {
    case FileCategory::images:
        return "fileCategory.images";
    case FileCategory::video:
        return "fileCategory.video";
    case FileCategory::audio:
        return "fileCategory.audio";
    case FileCategory::documents:
        return "fileCategory.documents";
    case FileCategory::archives:
        return "fileCategory.archives";
    case FileCategory::sourceCode:
        return "fileCategory.sourceCode";
    case FileCategory::programs:
        return "fileCategory.programs";
    case FileCategory::diskImages:
        return "fileCategory.diskImages";
    case FileCategory::other:
        break;
    }
    return "fileCategory.other";
}

FileCategory categoryOfMimeType(std::string_view type) {
    if (type.empty()) return FileCategory::other;
    // Types that their top-level part would put elsewhere come first.
    static constexpr std::string_view diskImages[] = {
        "application/x-cd-image",        "application/x-raw-disk-image",
        "application/x-qemu-disk",       "application/x-vmdk-disk",
        "application/x-virtualbox-vdi",  "application/x-virtualbox-vhd",
        "application/x-virtualbox-vmdk", "application/x-iso9660-appimage",
        "application/vnd.efi.img",       "application/vnd.efi.iso",
        "application/x-apple-diskimage", "application/x-raw-disk-image-xz-compressed"};
    for (const std::string_view disk : diskImages)
        if (type == disk) return FileCategory::diskImages;
    static constexpr std::string_view programs[] = {"application/x-executable",
                                                    "application/x-sharedlib",
                                                    "application/x-object",
                                                    "application/x-pie-executable",
                                                    "application/x-archive",
                                                    "application/x-msdownload",
                                                    "application/vnd.microsoft.portable-executable",
                                                    "application/x-java",
                                                    "application/x-mach-binary",
                                                    "application/vnd.appimage",
                                                    "application/x-dosexec",
                                                    "application/x-msi",
                                                    "application/x-shared-library-la"};
    for (const std::string_view program : programs)
        if (type == program) return FileCategory::programs;
    static constexpr std::string_view archives[] = {"application/zip",
                                                    "application/gzip",
                                                    "application/x-tar",
                                                    "application/x-xz",
                                                    "application/x-bzip",
                                                    "application/x-bzip2",
                                                    "application/x-7z-compressed",
                                                    "application/vnd.rar",
                                                    "application/x-rar",
                                                    "application/zstd",
                                                    "application/x-zstd",
                                                    "application/x-lzma",
                                                    "application/x-lz4",
                                                    "application/x-lzip",
                                                    "application/x-compress",
                                                    "application/x-cpio",
                                                    "application/vnd.debian.binary-package",
                                                    "application/x-rpm",
                                                    "application/x-java-archive",
                                                    "application/java-archive",
                                                    "application/x-xar",
                                                    "application/x-ace",
                                                    "application/x-arj",
                                                    "application/x-zoo",
                                                    "application/x-lha"};
    for (const std::string_view archive : archives)
        if (type == archive) return FileCategory::archives;
    // Compressed tar balls and the like: application/x-compressed-tar, x-xz-compressed-tar...
    if (startsWith(type, "application/") && type.find("compressed") != std::string_view::npos)
        return FileCategory::archives;
    static constexpr std::string_view documents[] = {"application/pdf",
                                                     "application/postscript",
                                                     "application/rtf",
                                                     "application/epub+zip",
                                                     "application/msword",
                                                     "application/vnd.ms-excel",
                                                     "application/vnd.ms-powerpoint",
                                                     "application/x-mobipocket-ebook",
                                                     "application/vnd.amazon.mobi8-ebook",
                                                     "application/x-fictionbook+xml",
                                                     "application/vnd.comicbook+zip",
                                                     "text/plain",
                                                     "text/markdown",
                                                     "text/html",
                                                     "text/csv",
                                                     "text/rtf",
                                                     "application/xhtml+xml",
                                                     "application/x-dvi",
                                                     "image/vnd.djvu",
                                                     "text/x-tex",
                                                     "application/oxps",
                                                     "application/vnd.ms-xpsdocument"};
    for (const std::string_view document : documents)
        if (type == document) return FileCategory::documents;
    if (startsWith(type, "application/vnd.oasis.opendocument.") ||
        startsWith(type, "application/vnd.openxmlformats-officedocument.") ||
        startsWith(type, "application/vnd.ms-word") || startsWith(type, "application/x-abiword"))
        return FileCategory::documents;
    if (startsWith(type, "image/")) return FileCategory::images;
    if (startsWith(type, "video/")) return FileCategory::video;
    if (startsWith(type, "audio/")) return FileCategory::audio;
    static constexpr std::string_view sources[] = {"application/javascript",
                                                   "application/x-shellscript",
                                                   "application/x-perl",
                                                   "application/x-php",
                                                   "application/x-ruby",
                                                   "application/json",
                                                   "application/xml",
                                                   "application/x-yaml",
                                                   "application/toml",
                                                   "application/sql",
                                                   "application/x-m4",
                                                   "application/x-python-bytecode",
                                                   "application/ecmascript",
                                                   "application/x-csh",
                                                   "application/x-awk",
                                                   "application/x-desktop",
                                                   "application/x-gettext-translation",
                                                   "application/x-ipynb+json",
                                                   "application/wasm",
                                                   "application/x-sharedlib+source"};
    for (const std::string_view source : sources)
        if (type == source) return FileCategory::sourceCode;
    // text/x-csrc, text/x-python3, text/x-makefile, text/css, text/x-go...
    if (startsWith(type, "text/")) return FileCategory::sourceCode;
    return FileCategory::other;
}

void MimeGlobs::keepBest(Match& kept, const Match& candidate) {
    if (kept.type.empty() || candidate.weight > kept.weight ||
        (candidate.weight == kept.weight && candidate.length > kept.length))
        kept = candidate;
}

void MimeGlobs::add(std::string_view text) {
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.empty() || line.front() == '#') continue;
        // weight:type:glob[:flags...]
        const auto first = line.find(':');
        if (first == std::string_view::npos) continue;
        const auto second = line.find(':', first + 1);
        if (second == std::string_view::npos) continue;
        const std::string_view weightText = line.substr(0, first);
        const std::string_view type = line.substr(first + 1, second - first - 1);
        std::string_view glob = line.substr(second + 1);
        std::string_view flags;
        if (const auto third = glob.find(':'); third != std::string_view::npos) {
            flags = glob.substr(third + 1);
            glob = glob.substr(0, third);
        }
        if (glob.empty() || type.empty() || type == "__NOGLOBS__") continue;
        const Match match{std::string(type), std::atoi(std::string(weightText).c_str()),
                          glob.size()};
        const bool caseSensitive = flags.find("cs") != std::string_view::npos;
        if (!hasWildcard(glob)) {
            keepBest(literals_[caseSensitive ? std::string(glob) : lowered(glob)], match);
        } else if (startsWith(glob, "*.") && !hasWildcard(glob.substr(1))) {
            if (caseSensitive)
                keepBest(caseSensitiveSuffixes_[std::string(glob.substr(1))], match);
            else
                keepBest(suffixes_[lowered(glob.substr(1))], match);
        } else {
            others_.push_back({std::string(glob), match, caseSensitive});
        }
    }
}

MimeGlobs MimeGlobs::fromDesktop() {
    MimeGlobs globs;
    // The most important folder first: a pattern of a later one that only ties with it does
    // not replace it.
    for (const std::string& folder : dataFolders()) {
        std::ifstream in(folder + "/mime/globs2", std::ios::binary);
        if (!in) continue;
        const std::string text{std::istreambuf_iterator<char>(in), {}};
        globs.add(text);
    }
    return globs;
}

bool MimeGlobs::hasLiteral(std::string_view name) const {
    return literals_.contains(std::string(name)) || literals_.contains(lowered(name));
}

std::string_view MimeGlobs::typeOf(std::string_view name, bool* bySuffix) const {
    if (bySuffix != nullptr) *bySuffix = false;
    if (name.empty()) return {};
    const std::string lower = lowered(name);
    if (const auto found = literals_.find(std::string(name)); found != literals_.end())
        return found->second.type;
    if (const auto found = literals_.find(lower); found != literals_.end())
        return found->second.type;
    // Every suffix from a dot: ".gz" and ".tar.gz" of "a.tar.gz".
    const Match* best = nullptr;
    const auto consider = [&best](const Match& match) {
        if (best == nullptr || match.weight > best->weight ||
            (match.weight == best->weight && match.length > best->length))
            best = &match;
    };
    // Case-sensitive extensions first ("*.C" is C++, "*.c" C), then the others.
    if (!caseSensitiveSuffixes_.empty()) {
        for (std::size_t dot = name.find('.'); dot != std::string_view::npos;
             dot = name.find('.', dot + 1))
            if (const auto found = caseSensitiveSuffixes_.find(std::string(name.substr(dot)));
                found != caseSensitiveSuffixes_.end())
                consider(found->second);
        if (best != nullptr) {
            if (bySuffix != nullptr) *bySuffix = true;
            return best->type;
        }
    }
    for (std::size_t dot = name.find('.'); dot != std::string_view::npos;
         dot = name.find('.', dot + 1))
        if (const auto found = suffixes_.find(lower.substr(dot)); found != suffixes_.end())
            consider(found->second);
    if (best != nullptr) {
        if (bySuffix != nullptr) *bySuffix = true;
        return best->type;
    }
    // The few patterns of other shapes ("*.so.[0-9]*", "readme*"), only for names that no
    // extension names: they are matched one by one.
    const std::string exact(name);
    for (const Pattern& pattern : others_)
        if (fnmatch(pattern.glob.c_str(), pattern.caseSensitive ? exact.c_str() : lower.c_str(),
                    0) == 0)
            consider(pattern.match);
    return best != nullptr ? std::string_view(best->type) : std::string_view();
}

FileCategory categoryOf(const File& file) {
    if (file.isDirectory()) return FileCategory::other;
    return categoryOfName(file.path());
}

FileCategory categoryOfName(std::string_view name) {
    static const MimeGlobs globs = MimeGlobs::fromDesktop();
    // Most names end in an extension that decides their kind: what it decided is kept, a cache
    // a thread, keyed by everything from the name's first dot (".tar.gz"). Names the database
    // knows whole ("CMakeLists.txt") are looked up first.
    const auto dot = name.find('.');
    if (dot == std::string_view::npos || dot == 0 || globs.hasLiteral(name))
        return categoryOfMimeType(globs.typeOf(name));
    struct Cache {
        std::unordered_map<std::string, FileCategory> byExtension;
    };
    thread_local Cache cache;
    const std::string extension(name.substr(dot));
    if (const auto found = cache.byExtension.find(extension); found != cache.byExtension.end())
        return found->second;
    bool bySuffix = false;
    const FileCategory category = categoryOfMimeType(globs.typeOf(name, &bySuffix));
    constexpr std::size_t kMostCached = 4096;
    if (bySuffix && cache.byExtension.size() < kMostCached)
        cache.byExtension.emplace(extension, category);
    return category;
}

} // namespace tessera
