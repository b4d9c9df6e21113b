// Kinds of files by name, as the desktop's MIME database sees them, and the kinds' categories.
#include "model/FileTypes.h"

#include "support/TreeBuilders.h"

#include <gtest/gtest.h>

namespace tessera {
namespace {

using namespace tessera::testing;

// A few lines as shared-mime-info writes them.
constexpr std::string_view kGlobs = "# comment\n"
                                    "50:image/png:*.png\n"
                                    "50:application/gzip:*.gz\n"
                                    "50:application/x-compressed-tar:*.tar.gz\n"
                                    "50:text/x-csrc:*.c\n"
                                    "50:text/x-c++src:*.C:cs\n"
                                    "50:application/x-sharedlib:*.so.[0-9]*\n"
                                    "50:text/troff:*.[1-9]\n"
                                    "50:text/x-makefile:makefile\n"
                                    "10:text/x-readme:readme*\n"
                                    "80:application/x-cd-image:*.iso\n"
                                    "not a line\n";

TEST(FileTypesTest, NamesTakeTheTypesOfTheDatabasesPatterns) {
    MimeGlobs globs;
    globs.add(kGlobs);
    EXPECT_EQ(globs.typeOf("holiday.PNG"), "image/png"); // case does not matter...
    EXPECT_EQ(globs.typeOf("main.c"), "text/x-csrc");
    EXPECT_EQ(globs.typeOf("main.C"), "text/x-c++src"); // ...unless the pattern says so
    // The longest of the extensions that match.
    EXPECT_EQ(globs.typeOf("src.tar.gz"), "application/x-compressed-tar");
    EXPECT_EQ(globs.typeOf("log.gz"), "application/gzip");
    // Literal names, and the other shapes of pattern: the longer of two that match wins.
    EXPECT_EQ(globs.typeOf("Makefile"), "text/x-makefile");
    EXPECT_EQ(globs.typeOf("README"), "text/x-readme");
    EXPECT_EQ(globs.typeOf("libz.so.1.3"), "application/x-sharedlib");
    EXPECT_EQ(globs.typeOf("ls.1"), "text/troff");
    EXPECT_EQ(globs.typeOf("notes"), "");
    EXPECT_EQ(globs.typeOf(""), "");
}

TEST(FileTypesTest, TypesFallIntoCategories) {
    EXPECT_EQ(categoryOfMimeType("image/png"), FileCategory::images);
    EXPECT_EQ(categoryOfMimeType("video/mp4"), FileCategory::video);
    EXPECT_EQ(categoryOfMimeType("audio/flac"), FileCategory::audio);
    EXPECT_EQ(categoryOfMimeType("application/pdf"), FileCategory::documents);
    EXPECT_EQ(categoryOfMimeType("application/vnd.oasis.opendocument.text"),
              FileCategory::documents);
    EXPECT_EQ(categoryOfMimeType("application/x-compressed-tar"), FileCategory::archives);
    EXPECT_EQ(categoryOfMimeType("application/zip"), FileCategory::archives);
    EXPECT_EQ(categoryOfMimeType("text/x-csrc"), FileCategory::sourceCode);
    EXPECT_EQ(categoryOfMimeType("application/x-sharedlib"), FileCategory::programs);
    EXPECT_EQ(categoryOfMimeType("application/x-cd-image"), FileCategory::diskImages);
    EXPECT_EQ(categoryOfMimeType("application/octet-stream"), FileCategory::other);
    EXPECT_EQ(categoryOfMimeType(""), FileCategory::other);
}

// The desktop's own database, as the program reads it (shared-mime-info is installed with the
// project's packages).
TEST(FileTypesTest, FilesAreSortedByTheDesktopsDatabase) {
    const MimeGlobs desktop = MimeGlobs::fromDesktop();
    if (desktop.empty()) GTEST_SKIP() << "no shared-mime-info database in the XDG data folders";
    EXPECT_EQ(categoryOf(*file("beach.jpg", 1)), FileCategory::images);
    EXPECT_EQ(categoryOf(*file("film.mkv", 1)), FileCategory::video);
    EXPECT_EQ(categoryOf(*file("song.ogg", 1)), FileCategory::audio);
    EXPECT_EQ(categoryOf(*file("thesis.pdf", 1)), FileCategory::documents);
    EXPECT_EQ(categoryOf(*file("backup.tar.xz", 1)), FileCategory::archives);
    EXPECT_EQ(categoryOf(*file("main.cpp", 1)), FileCategory::sourceCode);
    EXPECT_EQ(categoryOf(*file("libz.so.1.3", 1)), FileCategory::programs);
    EXPECT_EQ(categoryOf(*file("debian.iso", 1)), FileCategory::diskImages);
    // No extension, no pattern: nothing said.
    EXPECT_EQ(categoryOf(*file("xq7", 1)), FileCategory::other);
    EXPECT_EQ(categoryOf(*dir("photos.jpg")), FileCategory::other); // folders have no kind
}

} // namespace
} // namespace tessera
