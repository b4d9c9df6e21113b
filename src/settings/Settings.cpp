#include "settings/Settings.h"

#include "base/Paths.h"
#include "favorites/PredicateText.h"
#include "logs/Logger.h"
#include "model/Base64.h"
#include "platform/FileSystem.h"
#include "platform/Files.h"
#include "platform/XdgFolders.h"
#include "settings/SettingsTable.h"

#include "json/JsonWriter.h"
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <simdjson.h>
#include <type_traits>

namespace tessera {
namespace {

namespace dom = simdjson::dom;

// The member `key`, if present: none when absent, an error when the document is broken.
simdjson::error_code member(dom::object object, std::string_view key, dom::element& out) {
    return object[key].get(out);
}

// Reads one member into `out` when present; false when it has the wrong type.
template <typename Value> bool read(dom::object object, std::string_view key, Value& out) {
    dom::element element;
    const auto error = member(object, key, element);
    if (error == simdjson::NO_SUCH_FIELD) return true;
    if (error) return false;
    if constexpr (std::is_same_v<Value, int>) {
        std::int64_t number = 0;
        if (element.get(number) || number < INT32_MIN || number > INT32_MAX) return false;
        out = static_cast<int>(number);
        return true;
    } else {
        return !element.get(out);
    }
}

// The value of a setting as a number: none when absent, an error (false) when of the wrong kind
// or, for a choice, an unknown name.
std::expected<std::optional<double>, bool> readSetting(dom::object object,
                                                       const SettingDefinition& setting) {
    dom::element element;
    const auto error = member(object, setting.key, element);
    if (error == simdjson::NO_SUCH_FIELD) return std::optional<double>();
    if (error) return std::unexpected(false);
    switch (setting.type) {
    case SettingType::boolean: {
        bool value = false;
        if (element.get(value)) return std::unexpected(false);
        return value ? 1.0 : 0.0;
    }
    case SettingType::integer: {
        std::int64_t value = 0;
        if (element.get(value)) return std::unexpected(false);
        return static_cast<double>(value);
    }
    case SettingType::real: {
        double value = 0;
        if (element.get(value)) return std::unexpected(false);
        return value;
    }
    case SettingType::choice: {
        std::string_view text;
        if (element.get(text)) return std::unexpected(false);
        const auto found = setting.named(text);
        if (!found) return std::unexpected(false);
        return *found;
    }
    }
    return std::unexpected(false);
}

// A number as the log shows it: whole numbers without a fraction.
std::string formatNumber(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

// A favourite as stored. A filter that cannot be used is left out (said in `repairs`), and the
// favourite kept; a favourite without a usable bookmark cannot be kept.
std::expected<Favorite::Stored, std::string> readFavorite(dom::element element,
                                                          std::vector<std::string>& repairs) {
    dom::object object;
    if (element.get(object)) return std::unexpected(std::string("a favourite is not an object"));
    Favorite::Stored stored;
    dom::element data;
    if (!member(object, "bookmarkData", data) && !data.is_null()) {
        std::string_view text;
        if (data.get(text)) return std::unexpected(std::string("bookmarkData is not a string"));
        auto bytes = decodeBase64(text);
        if (!bytes) return std::unexpected(std::string("bookmarkData is not base64"));
        stored.bookmarkData = std::move(*bytes);
    }
    dom::element predicate;
    bool dropped = false; // a filter that could not be read is off, not empty
    if (!member(object, "filterPredicate", predicate)) {
        std::string_view text;
        dropped = true;
        if (predicate.get(text)) {
            repairs.emplace_back("a favourite's exclusion filter was left out: it is not a text");
        } else if (auto parsed = parsePredicate(text); !parsed) {
            repairs.push_back("a favourite's exclusion filter was left out: " + parsed.error() +
                              " (it read \"" + std::string(text) + "\")");
        } else {
            stored.filterPredicate = std::string(text);
            dropped = false;
        }
    }
    if (!read(object, "isFilterPredicateEnabled", stored.isFilterPredicateEnabled))
        repairs.emplace_back("a favourite's isFilterPredicateEnabled is not true or false: the "
                             "filter is off");
    if (dropped) stored.isFilterPredicateEnabled = false;
    if (!read(object, "countsHardLinksOnce", stored.countsHardLinksOnce)) {
        stored.countsHardLinksOnce = false;
        repairs.emplace_back("a favourite's countsHardLinksOnce is not true or false: hard links "
                             "are counted at each name");
    }
    return stored;
}

// The cleanups kept: those that cannot be read are left out (and said so), and a list that is
// no list leaves the defaults.
std::optional<std::vector<Cleanup>> readCleanups(dom::element element,
                                                 std::vector<std::string>& repairs) {
    dom::array array;
    if (element.get(array)) {
        repairs.emplace_back("the cleanups are not a list: the defaults are used");
        return std::nullopt;
    }
    std::vector<Cleanup> cleanups;
    for (dom::element entry : array) {
        dom::object object;
        std::string_view title;
        std::string_view command;
        bool dangerous = false;
        if (entry.get(object) || object["title"].get(title) || object["command"].get(command) ||
            !read(object, "dangerous", dangerous)) {
            repairs.emplace_back("a cleanup was left out: it needs a title and a command as "
                                 "texts, and \"dangerous\" true or false");
            continue;
        }
        cleanups.push_back({std::string(title), std::string(command), dangerous});
    }
    return cleanups;
}

} // namespace

std::string Settings::encode() const {
    std::string out;
    JsonWriter json(out);
    json.beginObject();
    const auto writeFavorites = [&] {
        json.beginArray();
        for (const Favorite::Stored& favorite : favorites)
            Favorite::encode(favorite, json);
        json.endArray();
    };
    const auto writeCleanups = [&] {
        json.beginArray();
        for (const Cleanup& cleanup : *cleanups) {
            json.beginObject();
            json.key("command");
            json.string(cleanup.command);
            json.key("dangerous");
            json.boolean(cleanup.dangerous);
            json.key("title");
            json.string(cleanup.title);
            json.endObject();
        }
        json.endArray();
    };
    // The lists among the table's keys, in sorted order.
    struct List {
        std::string_view key;
        std::function<void()> write;
    };
    std::vector<List> lists;
    if (cleanups) lists.push_back({"cleanups", writeCleanups});
    lists.push_back({"favorites", writeFavorites});
    auto nextList = lists.begin();
    const auto writeListsBefore = [&](std::string_view key) {
        for (; nextList != lists.end() && nextList->key < key; ++nextList) {
            json.key(nextList->key);
            nextList->write();
        }
    };
    // Keys in sorted order: the table's, with the lists among them and the version last.
    for (const SettingDefinition& setting : settingsTable()) {
        writeListsBefore(setting.key);
        json.key(setting.key);
        const double value = setting.get(*this);
        switch (setting.type) {
        case SettingType::boolean:
            json.boolean(value != 0);
            break;
        case SettingType::integer:
            json.integer(static_cast<std::int64_t>(value));
            break;
        case SettingType::real:
            json.real(value);
            break;
        case SettingType::choice:
            json.string(setting.names[static_cast<std::size_t>(value)]);
            break;
        }
    }
    writeListsBefore("version");
    json.key("version");
    json.integer(version);
    json.endObject();
    return out;
}

std::expected<Settings, std::string> Settings::decode(std::string_view json,
                                                      std::vector<std::string>* repairs) {
    std::vector<std::string> ignored;
    std::vector<std::string>& repaired = repairs != nullptr ? *repairs : ignored;
    dom::parser parser;
    const simdjson::padded_string padded(json);
    dom::element document;
    if (const auto error = parser.parse(padded).get(document))
        return std::unexpected(std::string(simdjson::error_message(error)));
    dom::object object;
    if (document.get(object)) return std::unexpected(std::string("the settings are not an object"));
    Settings settings;
    dom::element version;
    if (member(object, "version", version) == simdjson::NO_SUCH_FIELD)
        return std::unexpected(std::string("the version is missing"));
    auto fail = [](std::string_view key) {
        return std::unexpected("\"" + std::string(key) + "\" has a value of the wrong kind");
    };
    if (!read(object, "version", settings.version)) return fail("version");
    for (const SettingDefinition& setting : settingsTable()) {
        const auto value = readSetting(object, setting);
        if (!value) {
            // This setting alone takes its default; the others stay.
            repaired.push_back("\"" + std::string(setting.key) +
                               "\" has a value of the wrong kind: the default is used");
            continue;
        }
        if (!*value) continue; // absent: the default stays
        const double corrected = setting.corrected(**value);
        if (corrected != **value)
            repaired.push_back("\"" + std::string(setting.key) + "\" is out of range (" +
                               formatNumber(**value) + "): it is " + formatNumber(corrected) +
                               " instead");
        setting.set(settings, corrected);
    }
    if (dom::element cleanups; !member(object, "cleanups", cleanups))
        settings.cleanups = readCleanups(cleanups, repaired);
    if (dom::element favorites; !member(object, "favorites", favorites)) {
        dom::array array;
        if (favorites.get(array)) {
            repaired.emplace_back("the favourites are not a list: none could be read");
            return settings;
        }
        for (dom::element element : array) {
            auto favorite = readFavorite(element, repaired);
            if (!favorite) {
                repaired.push_back("a favourite was left out: " + favorite.error());
                continue;
            }
            settings.favorites.push_back(std::move(*favorite));
        }
    }
    return settings;
}

namespace {

// A name beside `path` that nothing uses yet, for a copy of the settings as they were.
std::string unusedAsideName(const std::string& path) {
    std::string aside = path + ".corrupt";
    for (int n = 2; platform::entryExists(aside); ++n)
        aside = path + ".corrupt." + std::to_string(n);
    return aside;
}

} // namespace

std::string settingsPath() {
    return joinPath(joinPath(platform::configHome(), "tessera"), "settings.json");
}

LoadedSettings loadSettings(const std::string& path, int version) {
    LoadedSettings loaded;
    loaded.settings.version = version;
    auto data = platform::readWholeFile(path);
    if (!data && !platform::entryExists(path)) {
        loaded.firstStart = true;
        return loaded;
    }
    if (data) {
        auto decoded = Settings::decode(*data, &loaded.repairs);
        if (decoded && loaded.repairs.empty()) {
            loaded.settings = std::move(*decoded);
            return loaded;
        }
        if (decoded) {
            // Usable once repaired: the file as it was is kept beside it, as the repaired
            // settings replace it at the next save.
            loaded.settings = std::move(*decoded);
            const std::string copy = unusedAsideName(path);
            const auto kept = platform::writeFileAtomically(copy, *data);
            loaded.keptAs = kept ? copy : std::string();
            for (const std::string& repair : loaded.repairs)
                Logger::log(0, "The settings in " + path + " were repaired: " + repair + ".");
            if (kept) Logger::log(0, "The settings as they were are kept as " + copy + ".");
            return loaded;
        }
        loaded.repairs.clear();
        loaded.problem = decoded.error();
    } else {
        loaded.problem = data.error();
    }
    // Keep the file aside, under a name nothing else uses, before the defaults take over.
    const std::string aside = unusedAsideName(path);
    const auto keptAside = platform::renameEntry(path, aside);
    loaded.keptAs = keptAside ? aside : std::string();
    Logger::log(0, "The settings in " + path + " cannot be used (" + loaded.problem + ")" +
                       (!keptAside ? "; they could not be kept aside: " +
                                         std::string(std::strerror(keptAside.error()))
                                   : "; they were kept as " + aside) +
                       ". Defaults are used.");
    return loaded;
}

std::expected<void, std::string> saveSettings(const Settings& settings, const std::string& path) {
    const std::string folder(parentPath(path));
    if (const auto created = platform::createFolders(folder); !created)
        return std::unexpected(folder + ": " + std::strerror(created.error()));
    return platform::writeFileAtomically(path, settings.encode());
}

} // namespace tessera
