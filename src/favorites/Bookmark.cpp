#include "favorites/Bookmark.h"

#include "base/Paths.h"
#include "platform/FileSystem.h"
#include "platform/Volumes.h"

#include <array>
#include <charconv>
#include <utility>

namespace tessera {
namespace {

constexpr std::string_view kMagic = "tessera-bookmark 1\n";

std::string percentEncode(std::string_view value) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    for (const char ch : value) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 || c >= 0x7f || c == '%' || c == '=') {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

std::optional<std::string> percentDecode(std::string_view value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] != '%') {
            out += value[i];
            continue;
        }
        unsigned byte = 0;
        const char* begin = value.data() + i + 1;
        if (i + 3 > value.size() || std::from_chars(begin, begin + 2, byte, 16).ptr != begin + 2)
            return std::nullopt;
        out += static_cast<char>(byte);
        i += 2;
    }
    return out;
}

} // namespace

std::optional<Bookmark> Bookmark::make(const std::string& path) {
    if (!platform::entryExists(path)) return std::nullopt;
    Bookmark bookmark;
    bookmark.path = path;
    const auto mounts = platform::readMounts();
    if (const auto mount = platform::mountContaining(path, mounts)) {
        const platform::VolumeIdentity identity = platform::identityOf(*mount);
        bookmark.mountPoint = mount->mountPoint;
        bookmark.uuid = identity.uuid;
        bookmark.label = identity.label;
        bookmark.source = mount->source;
    }
    return bookmark;
}

std::string Bookmark::bytes() const {
    std::string out(kMagic);
    const std::array<std::pair<std::string_view, const std::string*>, 5> fields{
        {{"path", &path},
         {"mountPoint", &mountPoint},
         {"uuid", &uuid},
         {"label", &label},
         {"source", &source}}};
    for (const auto& [key, value] : fields) {
        out += key;
        out += '=';
        out += percentEncode(*value);
        out += '\n';
    }
    return out;
}

std::expected<Bookmark, std::string> Bookmark::fromBytes(const std::string& bytes) {
    if (!bytes.starts_with(kMagic)) return std::unexpected("not a bookmark");
    Bookmark bookmark;
    std::size_t at = kMagic.size();
    while (at < bytes.size()) {
        const std::size_t end = bytes.find('\n', at);
        if (end == std::string::npos) return std::unexpected("bookmark line without an end");
        const std::string_view line(bytes.data() + at, end - at);
        at = end + 1;
        const std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) return std::unexpected("bookmark line without '='");
        const auto value = percentDecode(line.substr(equals + 1));
        if (!value) return std::unexpected("bookmark value with a broken escape");
        const std::string_view key = line.substr(0, equals);
        if (key == "path")
            bookmark.path = *value;
        else if (key == "mountPoint")
            bookmark.mountPoint = *value;
        else if (key == "uuid")
            bookmark.uuid = *value;
        else if (key == "label")
            bookmark.label = *value;
        else if (key == "source")
            bookmark.source = *value;
        // Unknown keys come from newer versions: ignore them.
    }
    if (bookmark.path.empty() || bookmark.path.front() != '/')
        return std::unexpected("bookmark without an absolute path");
    return bookmark;
}

MountTable MountTable::current() {
    return {platform::readMounts(), platform::identityOf};
}

bool Bookmark::isOnItsVolume(const std::string& where, const MountTable& table) const {
    if (uuid.empty() && label.empty() && source.empty()) return true;
    const auto mount = platform::mountContaining(where, table.mounts);
    if (!mount) return false;
    const platform::VolumeIdentity identity = table.identityOf(*mount);
    if (!uuid.empty()) return identity.uuid == uuid;
    if (!label.empty()) return identity.label == label;
    return mount->source == source;
}

std::optional<std::string> Bookmark::resolve(const MountTable& table) const {
    if (platform::entryExists(path) && isOnItsVolume(path, table)) return path;
    if (uuid.empty() && label.empty()) return std::nullopt;
    const PathRelation relation = relatePaths(path, mountPoint);
    if (relation != PathRelation::equal && relation != PathRelation::firstInsideSecond)
        return std::nullopt;
    const std::string inside = relation == PathRelation::equal
                                   ? std::string()
                                   : path.substr(mountPoint == "/" ? 1 : mountPoint.size() + 1);
    for (const platform::Mount& mount : table.mounts) {
        const platform::VolumeIdentity identity = table.identityOf(mount);
        const bool same = (!uuid.empty() && identity.uuid == uuid) ||
                          (uuid.empty() && !label.empty() && identity.label == label);
        if (!same) continue;
        const std::string moved = joinPath(mount.mountPoint, inside);
        if (platform::entryExists(moved)) return moved;
    }
    return std::nullopt;
}

} // namespace tessera
