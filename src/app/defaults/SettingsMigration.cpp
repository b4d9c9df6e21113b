#include "app/defaults/SettingsMigration.h"

#include "favorites/Bookmark.h"
#include "favorites/PredicateText.h"
#include "layouts/DrawTreeMap.h"
#include "model/FileEnums.h"
#include "model/ViewEnums.h"
#include "settings/Settings.h"

#include <QVariantList>
#include <QVariantMap>

namespace tessera {
namespace {

const QString kFavorites = QStringLiteral("favorites");
const QString kSortOrder = QStringLiteral("sortOrder");

// The view settings that builds up to 85 kept in the user defaults.
const QStringList kViewKeys{QStringLiteral("favorites"),
                            QStringLiteral("graphType"),
                            QStringLiteral("sizeMode"),
                            QStringLiteral("colorMode"),
                            QStringLiteral("animationSpeed"),
                            QStringLiteral("mergeThreshold"),
                            QStringLiteral("graphLevels"),
                            QStringLiteral("treeMapLayout"),
                            QStringLiteral("directoryBorderRatio"),
                            QStringLiteral("keepAspectRatioDuringZoom"),
                            QStringLiteral("beginLayoutOnBottomEdge")};

template <typename T, typename Parse>
void readName(QSettings& defaults, const QString& key, T& into, const Parse& parse) {
    if (!defaults.contains(key)) return;
    if (auto named = parse(defaults.value(key).toString().toStdString())) into = *named;
}

template <typename T> void readNumber(QSettings& defaults, const QString& key, T& into) {
    if (!defaults.contains(key)) return;
    bool ok = false;
    const double number = defaults.value(key).toDouble(&ok);
    if (ok) into = static_cast<T>(number);
}

void readBool(QSettings& defaults, const QString& key, bool& into) {
    if (defaults.contains(key)) into = defaults.value(key).toBool();
}

// A favourite as older builds stored it: {"bookmarkData": bytes, ...}; one that does not
// read is left out rather than failing the rest.
std::optional<Favorite::Stored> storedFavorite(const QVariant& item) {
    const QVariantMap map = item.toMap();
    Favorite::Stored stored;
    const QByteArray bookmark = map.value(QStringLiteral("bookmarkData")).toByteArray();
    if (bookmark.isEmpty() || !Bookmark::fromBytes(bookmark.toStdString())) return std::nullopt;
    stored.bookmarkData = bookmark.toStdString();
    stored.isFilterPredicateEnabled =
        map.value(QStringLiteral("isFilterPredicateEnabled")).toBool();
    if (map.contains(QStringLiteral("filterPredicate"))) {
        const std::string text =
            map.value(QStringLiteral("filterPredicate")).toString().toStdString();
        if (!parsePredicate(text)) return std::nullopt;
        stored.filterPredicate = text;
    }
    return stored;
}

} // namespace

std::expected<void, std::string> migrateSettings(int oldBuild, QSettings& defaults,
                                                 const std::string& settingsPath, int build) {
    if (oldBuild <= 68) {
        // Favourites were bare bookmarks.
        QVariantList favorites = defaults.value(kFavorites).toList();
        for (QVariant& item : favorites)
            if (item.metaType().id() == QMetaType::QByteArray)
                item = QVariantMap{{QStringLiteral("bookmarkData"), item}};
        if (defaults.contains(kFavorites)) defaults.setValue(kFavorites, favorites);
        defaults.remove(QStringLiteral("mainWindow"));
    }
    if (oldBuild < 74) {
        defaults.remove(QStringLiteral("outlineWidth"));
        defaults.remove(QStringLiteral("showOutlineView"));
        if (defaults.contains(QStringLiteral("completedSyncs"))) {
            defaults.setValue(QStringLiteral("completedScans"),
                              defaults.value(QStringLiteral("completedSyncs")).toInt());
            defaults.remove(QStringLiteral("completedSyncs"));
        }
        bool isNumber = false;
        const int order = defaults.value(kSortOrder).toInt(&isNumber);
        static const QStringList modes{QStringLiteral("fileSize"), QStringLiteral("childCount"),
                                       QStringLiteral("allocatedFileSize")};
        if (isNumber && order >= 0 && order < modes.size())
            defaults.setValue(kSortOrder, modes[order]);
    }
    if (oldBuild <= 80) {
        if (defaults.contains(kSortOrder)) {
            defaults.setValue(QStringLiteral("sizeMode"), defaults.value(kSortOrder).toString());
            defaults.remove(kSortOrder);
        }
        defaults.remove(QStringLiteral("graphWindowSplitView"));
        defaults.remove(QStringLiteral("fileOutlineColumns"));
        defaults.remove(QStringLiteral("fileOutlineSortOrder"));
    }
    if (oldBuild <= 85) {
        Settings settings;
        settings.version = build;
        for (const QVariant& item : defaults.value(kFavorites).toList())
            if (auto stored = storedFavorite(item))
                settings.favorites.push_back(std::move(*stored));
        readName(defaults, QStringLiteral("graphType"), settings.graphType, graphTypeNamed);
        readName(defaults, QStringLiteral("sizeMode"), settings.sizeMode, sizeModeFromRaw);
        readName(defaults, QStringLiteral("colorMode"), settings.colorMode, colorModeFromRaw);
        readNumber(defaults, QStringLiteral("animationSpeed"), settings.animationSpeed);
        readNumber(defaults, QStringLiteral("mergeThreshold"), settings.mergeThreshold);
        readNumber(defaults, QStringLiteral("graphLevels"), settings.graphLevels);
        readName(defaults, QStringLiteral("treeMapLayout"), settings.treeMapLayout,
                 treeMapLayoutNamed);
        readNumber(defaults, QStringLiteral("directoryBorderRatio"), settings.directoryBorderRatio);
        readBool(defaults, QStringLiteral("keepAspectRatioDuringZoom"),
                 settings.keepAspectRatioDuringZoom);
        readBool(defaults, QStringLiteral("beginLayoutOnBottomEdge"),
                 settings.beginLayoutOnBottomEdge);
        if (auto saved = saveSettings(settings, settingsPath); !saved) return saved;
        for (const QString& key : kViewKeys)
            defaults.remove(key);
    }
    defaults.sync();
    return {};
}

} // namespace tessera
