#include "cli/Summary.h"

#include "cli/TerminalText.h"
#include "model/Directory.h"
#include "model/Formatting.h"
#include "snapshot/StoredName.h"

#include "json/JsonWriter.h"
#include <cstdio>
#include <vector>

namespace tessera::cli {
namespace {

constexpr std::size_t kLargestShown = 10;

std::int64_t countDirectories(const File& root) {
    std::int64_t directories = 0;
    std::vector<const Directory*> pending;
    if (const Directory* directory = root.asDirectory()) pending.push_back(directory);
    while (!pending.empty()) {
        const Directory* directory = pending.back();
        pending.pop_back();
        ++directories;
        for (const File* child : directory->contents())
            if (const Directory* sub = child->asDirectory()) pending.push_back(sub);
    }
    return directories;
}

void printText(const File& root, const SummaryContext& context, std::int64_t directories,
               const std::vector<const File*>& largest) {
    std::fprintf(context.stream, "%s\n", escapeForTerminal(context.path).c_str());
    std::fprintf(context.stream, "  size            %s (%s bytes)\n",
                 formatByteCount(root.size()).c_str(), formatCount(root.size()).c_str());
    std::fprintf(context.stream, "  allocated size  %s (%s bytes)\n",
                 formatByteCount(root.allocatedSize()).c_str(),
                 formatCount(root.allocatedSize()).c_str());
    std::fprintf(context.stream, "  files           %s\n",
                 formatCount(root.size(SizeMode::childCount)).c_str());
    std::fprintf(context.stream, "  directories     %s\n", formatCount(directories).c_str());
    std::fprintf(context.stream, "  errors          %s\n",
                 formatCount(static_cast<std::int64_t>(context.errors)).c_str());
    std::fprintf(context.stream, "  time            %.3f s\n", context.seconds);
    if (const auto& volume = context.volume) {
        std::fprintf(
            context.stream, "  volume          %s in use of %s, %s free, %s reserved for root\n",
            formatByteCount(volume->used).c_str(), formatByteCount(volume->size).c_str(),
            formatByteCount(volume->free).c_str(), formatByteCount(volume->reserved).c_str());
        if (volume->otherVolumeCount > 0)
            std::fprintf(context.stream, "  other volumes   %s mounted below, %s in use\n",
                         formatCount(volume->otherVolumeCount).c_str(),
                         formatByteCount(volume->otherVolumes).c_str());
        if (volume->excluded > 0)
            std::fprintf(context.stream, "  excluded        %s %s left out (not measured)\n",
                         formatCount(volume->excluded).c_str(),
                         volume->excluded == 1 ? "entry" : "entries");
        if (volume->unattributed)
            std::fprintf(context.stream,
                         "  unattributed    %s in use in no entry scanned (%s bytes)%s\n",
                         formatByteCount(*volume->unattributed).c_str(),
                         formatCount(*volume->unattributed).c_str(),
                         volume->excluded > 0 ? ", what was excluded included" : "");
    }
    if (largest.empty()) return;
    std::fprintf(context.stream, "largest entries:\n");
    for (const File* file : largest)
        std::fprintf(context.stream, "  %12s  %s%s\n", formatByteCount(file->size()).c_str(),
                     escapeForTerminal(file->path()).c_str(), file->isDirectory() ? "/" : "");
}

void printJson(const File& root, const SummaryContext& context, std::int64_t directories,
               const std::vector<const File*>& largest) {
    std::string out;
    JsonWriter json(out, false);
    json.beginObject();
    json.key("path");
    json.string(toStoredName(context.path));
    json.key("size");
    json.integer(root.size());
    json.key("allocatedSize");
    json.integer(root.allocatedSize());
    json.key("fileCount");
    json.integer(root.size(SizeMode::childCount));
    json.key("directories");
    json.integer(directories);
    json.key("errors");
    json.integer(static_cast<std::int64_t>(context.errors));
    json.key("seconds");
    json.number(context.seconds);
    if (const auto& volume = context.volume) {
        json.key("volume");
        json.beginObject();
        for (const auto& [key, value] : {std::pair{"size", volume->size},
                                         {"free", volume->free},
                                         {"reserved", volume->reserved},
                                         {"used", volume->used},
                                         {"unreadable", volume->unreadable},
                                         {"excluded", volume->excluded},
                                         {"otherVolumes", volume->otherVolumes}}) {
            json.key(key);
            json.integer(value);
        }
        json.key("unattributed");
        if (volume->unattributed)
            json.integer(*volume->unattributed);
        else
            json.null();
        json.endObject();
    }
    json.key("largest");
    json.beginArray();
    for (const File* file : largest) {
        json.beginObject();
        json.key("name");
        json.string(toStoredName(file->path()));
        json.key("size");
        json.integer(file->size());
        json.key("allocatedSize");
        json.integer(file->allocatedSize());
        json.key("fileCount");
        json.integer(file->size(SizeMode::childCount));
        json.endObject();
    }
    json.endArray();
    json.endObject();
    std::fprintf(context.stream, "%s\n", out.c_str());
}

} // namespace

void printSummary(File& root, const SummaryContext& context) {
    std::vector<const File*> largest;
    if (Directory* directory = root.asDirectory()) {
        directory->sortContents(SizeMode::fileSize);
        for (const File* child : directory->contents()) {
            if (largest.size() == kLargestShown) break;
            largest.push_back(child);
        }
    }
    const std::int64_t directories = countDirectories(root);
    if (context.json)
        printJson(root, context, directories, largest);
    else
        printText(root, context, directories, largest);
}

} // namespace tessera::cli
