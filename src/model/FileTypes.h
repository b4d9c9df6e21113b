// What kind of file a name says it is: the desktop's MIME database (shared-mime-info's glob
// patterns, the globs2 files of the XDG data folders) gives the name a MIME type, and the type
// falls into one of a few categories that the colour mode by file type shows.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tessera {

class File;

enum class FileCategory : std::uint8_t {
    images,
    video,
    audio,
    documents,
    archives,
    sourceCode,
    programs, // programs and libraries
    diskImages,
    other,
};

inline constexpr std::array allFileCategories{
    FileCategory::images,    FileCategory::video,      FileCategory::audio,
    FileCategory::documents, FileCategory::archives,   FileCategory::sourceCode,
    FileCategory::programs,  FileCategory::diskImages, FileCategory::other};

/// The key of the category's name in the localised texts ("fileCategory.images"...).
std::string categoryTextKey(FileCategory category);

/// The category of a MIME type ("image/png": images); `other` when none fits.
FileCategory categoryOfMimeType(std::string_view mimeType);

/// Glob patterns of a MIME database, matched as shared-mime-info says: literal names first,
/// then the highest weight, then the longest pattern; case-insensitive unless marked "cs".
class MimeGlobs {
public:
    /// The patterns of one globs2 file's text (weight:type:pattern[:flags] lines).
    void add(std::string_view globs2Text);
    /// The patterns of the desktop's database: globs2 of $XDG_DATA_HOME/mime and of each
    /// folder of $XDG_DATA_DIRS (/usr/local/share:/usr/share by default), the first folders'
    /// weighing most where they disagree.
    static MimeGlobs fromDesktop();
    /// The MIME type of a file named `name`; empty when no pattern matches. `bySuffix`, when
    /// given, says whether an extension decided it (all names ending so then have the type).
    std::string_view typeOf(std::string_view name, bool* bySuffix = nullptr) const;
    /// Whether a pattern names `name` whole.
    bool hasLiteral(std::string_view name) const;
    bool empty() const { return literals_.empty() && suffixes_.empty() && others_.empty(); }

private:
    struct Match {
        std::string type;
        int weight = 0;
        std::size_t length = 0; // of the pattern
    };
    static void keepBest(Match& kept, const Match& candidate);

    std::unordered_map<std::string, Match> literals_;
    std::unordered_map<std::string, Match> suffixes_; // "*.tar.gz" under ".tar.gz", lower case
    std::unordered_map<std::string, Match> caseSensitiveSuffixes_;
    struct Pattern {
        std::string glob;
        Match match;
        bool caseSensitive;
    };
    std::vector<Pattern> others_;
};

/// The category of `file` by its name under the desktop's database (read once a process), a
/// versioned library ("libz.so.1.3") among programs; folders are `other`.
FileCategory categoryOf(const File& file);
/// The same of a file's name.
FileCategory categoryOfName(std::string_view name);

} // namespace tessera
