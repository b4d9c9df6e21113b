#include "snapshot/NcduWriter.h"

#include "model/Directory.h"

#include <cstdio>
#include <ctime>
#include <vector>

namespace tessera {
namespace {

void appendName(std::string& out, std::string_view name) {
    out += "{\"name\":\"";
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", byte);
            out += escape;
        } else {
            out += c; // bytes that are not UTF-8 as they are, as ncdu writes them
        }
    }
    out += '"';
}

void appendEntry(std::string& out, const File& file, std::string_view name) {
    appendName(out, name);
    if (!file.isDirectory()) {
        out += ",\"asize\":" + std::to_string(file.size());
        out += ",\"dsize\":" + std::to_string(file.allocatedSize());
    }
    if (!file.modificationDate().isDistantPast())
        out += ",\"mtime\":" + std::to_string(file.modificationDate().seconds);
    out += '}';
}

} // namespace

void encodeNcdu(const File& root, std::string_view rootName, std::string& out,
                const std::function<void(std::string_view)>& sink, std::size_t pieceBytes) {
    out +=
        "[1,2,{\"progname\":\"tessera\",\"timestamp\":" + std::to_string(std::time(nullptr)) + "}";
    // Depth first without recursion: each open folder and the next of its children.
    struct Open {
        const Directory* folder;
        std::size_t next;
    };
    std::vector<Open> open;
    const auto enter = [&](const File& file) {
        out += ",\n";
        std::string_view name = file.path();
        if (&file == &root && name.empty()) name = rootName.empty() ? "/" : rootName;
        if (const Directory* folder = file.asDirectory()) {
            out += '[';
            appendEntry(out, file, name);
            open.push_back({folder, 0});
        } else {
            appendEntry(out, file, name);
        }
    };
    if (root.asDirectory() == nullptr) {
        // A single file: the format's root is a folder, holding it.
        out += ",\n[{\"name\":\"/\"}";
        enter(root);
        out += "]";
    } else {
        enter(root);
    }
    while (!open.empty()) {
        Open& top = open.back();
        if (top.next == top.folder->count()) {
            out += ']';
            open.pop_back();
            continue;
        }
        const File& child = *top.folder->child(top.next++);
        enter(child);
        if (out.size() >= pieceBytes) {
            sink(out);
            out.clear();
        }
    }
    out += "]\n";
}

} // namespace tessera
