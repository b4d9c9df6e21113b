#include "model/Localization.h"

#include "model/Formatting.h"

#include <array>

namespace tessera {
namespace {

struct Text {
    std::string_view key;
    std::string_view one;   // singular form, or the only form
    std::string_view other; // plural form; empty when the text has no plural
};

// English texts. Keep the keys sorted.
constexpr std::array texts{
    Text{"about.text", "Tessera %@ shows where the space on your disks goes.", ""},
    Text{"button.cancel", "Cancel", ""},
    Text{"button.decrease", "Decrease", ""},
    Text{"button.increase", "Increase", ""},
    Text{"button.open", "Open", ""},
    Text{"button.reset", "Reset", ""},
    Text{"cleanup.confirm", "Run “%@” on “%@”?", ""},
    Text{"cleanup.confirm.detail", "It runs %@ and cannot be undone.", ""},
    Text{"cleanup.confirm.run", "&Run", ""},
    Text{"cleanup.output.crashed", "The command crashed.", ""},
    Text{"cleanup.output.finished", "Finished with exit status %@.", ""},
    Text{"cleanup.output.notStarted", "The command could not start: %@", ""},
    Text{"cleanup.output.title", "%@: %@", ""},
    Text{"cleanups.add", "&Add", ""},
    Text{"cleanups.column.command", "Command", ""},
    Text{"cleanups.column.dangerous", "Ask First", ""},
    Text{"cleanups.column.title", "Title", ""},
    Text{"cleanups.defaults", "Restore &Defaults", ""},
    Text{"cleanups.help",
         "Each cleanup runs through the shell on the selected entry: %p stands for its path, %n "
         "for its name and %d for the folder that holds it, each quoted. The folder is measured "
         "again when it ends.",
         ""},
    Text{"cleanups.remove", "&Remove", ""},
    Text{"cleanups.title", "Cleanups", ""},
    Text{"colorMode.change", "Change", ""},
    Text{"colorMode.creationDate", "Creation Date", ""},
    Text{"colorMode.fileType", "File Type", ""},
    Text{"colorMode.hueWheel", "Colour Wheel", ""},
    Text{"colorMode.modificationDate", "Modification Date", ""},
    Text{"comparison.added", "New since the tree before", ""},
    Text{"comparison.becomes", "%@ in the tree after, %@", ""},
    Text{"comparison.column.after", "After", ""},
    Text{"comparison.column.before", "Before", ""},
    Text{"comparison.column.difference", "Difference", ""},
    Text{"comparison.column.entry", "Entry", ""},
    Text{"comparison.column.kind", "Change", ""},
    Text{"comparison.kind.gone", "Gone", ""},
    Text{"comparison.kind.grown", "Grown", ""},
    Text{"comparison.kind.new", "New", ""},
    Text{"comparison.kind.renamed", "Renamed", ""},
    Text{"comparison.kind.shrunk", "Shrunk", ""},
    Text{"comparison.kind.unchanged", "Unchanged", ""},
    Text{"comparison.list", "Changes", ""},
    Text{"comparison.noChange", "no change", ""},
    Text{"comparison.removedNext", "Gone in the tree after", ""},
    Text{"comparison.renamedFrom", "Was %@", ""},
    Text{"comparison.renamedTo", "Becomes %@", ""},
    Text{"comparison.was", "%@ in the tree before, %@", ""},
    Text{"export.error.title", "Cannot Export", ""},
    Text{"export.format", "Format:", ""},
    Text{"export.format.json", "JSON", ""},
    Text{"export.format.ncdu", "ncdu (for ncdu and gdu)", ""},
    Text{"export.format.tsv", "TSV (smaller, faster)", ""},
    Text{"export.key.allocatedSize", "Allocated size", ""},
    Text{"export.key.creationDate", "Created", ""},
    Text{"export.key.modificationDate", "Modified", ""},
    Text{"export.key.name", "Name", ""},
    Text{"export.key.size", "Size", ""},
    Text{"export.properties", "Properties:", ""},
    Text{"export.title", "Export Snapshot", ""},
    Text{"favorite.unavailable.detail", "%@ (not available)", ""},
    Text{"favorite.unavailable.general", "Location not available", ""},
    Text{"favorites.accessibility.notKept", "opened, not kept", ""},
    Text{"favorites.accessibility.volumeUsage", "%@ used of %@, %@ % full", ""},
    Text{"favorites.add", "Add Folder…", ""},
    Text{"favorites.keep", "Keep in Favourites", ""},
    Text{"favorites.open", "Open", ""},
    Text{"favorites.remove", "Remove from Favourites", ""},
    Text{"favorites.reserved", "%@ reserved for root", ""},
    Text{"favorites.settings", "Favourite Settings…", ""},
    Text{"favorites.title", "Favourites", ""},
    Text{"favorites.usage", "%@ used", ""},
    Text{"file.childCount", "Number of Files", ""},
    Text{"file.creationDate", "Created", ""},
    Text{"file.display.allocatedSize", "%@ allocated", ""},
    Text{"file.display.childCount", "%lld file", "%lld files"},
    Text{"file.modificationDate", "Modified", ""},
    Text{"file.name", "Name", ""},
    Text{"file.size", "Size", ""},
    Text{"file.sizeAllocated", "Allocated Size", ""},
    Text{"fileCategory.archives", "Archives", ""},
    Text{"fileCategory.audio", "Audio", ""},
    Text{"fileCategory.diskImages", "Disk Images", ""},
    Text{"fileCategory.documents", "Documents", ""},
    Text{"fileCategory.images", "Images", ""},
    Text{"fileCategory.other", "Other", ""},
    Text{"fileCategory.programs", "Programs and Libraries", ""},
    Text{"fileCategory.sourceCode", "Source Code", ""},
    Text{"fileCategory.video", "Video", ""},
    Text{"fileSequence.description",
         "Choose two or more trees to compare, in the order to show them. Moving the slider "
         "morphs the picture from one tree into the next.",
         ""},
    Text{"fileSequence.slider", "Position in the sequence", ""},
    Text{"fileSequence.title", "Compare Trees", ""},
    Text{"graph.accessibility.legend", "Kinds of files: %@", ""},
    Text{"graph.accessibility.name", "Disk usage graph", ""},
    Text{"graph.accessibility.position", ", %@ of %@", ""},
    Text{"graph.accessibility.share", ", %@ % of %@", ""},
    Text{"graphType.pieChart", "&Pie Chart", ""},
    Text{"graphType.treeMap", "&Tree Map", ""},
    Text{"log.error.scan", "Cannot read %@", ""},
    Text{"log.error.settings", "Settings left out of %@", ""},
    Text{"log.error.watch", "Not followed live: %@", ""},
    Text{"log.error.watchLost", "Changes lost below %@", ""},
    Text{"logs.detail", "The chosen line", ""},
    Text{"logs.detailed", "Every Line", ""},
    Text{"logs.errors", "Errors", ""},
    Text{"logs.filter", "Filter", ""},
    Text{"logs.shown", "Lines shown", ""},
    Text{"logs.title", "Logs", ""},
    Text{"menu.app.about", "&About Tessera", ""},
    Text{"menu.app.quit", "&Quit", ""},
    Text{"menu.edit", "&Edit", ""},
    Text{"menu.edit.copy", "&Copy", ""},
    Text{"menu.edit.cut", "Cu&t", ""},
    Text{"menu.edit.find", "&Find", ""},
    Text{"menu.edit.paste", "&Paste", ""},
    Text{"menu.edit.redo", "&Redo", ""},
    Text{"menu.edit.selectAll", "Select &All", ""},
    Text{"menu.edit.undo", "&Undo", ""},
    Text{"menu.edit.undo.exclude", "Exclude “%@” from Chart", ""},
    Text{"menu.edit.undo.move", "Move “%@” to Trash", ""},
    Text{"menu.file", "&File", ""},
    Text{"menu.file.cleanups", "Clea&nups", ""},
    Text{"menu.file.close", "&Close", ""},
    Text{"menu.file.copyPath", "Copy &Path", ""},
    Text{"menu.file.delete", "&Delete", ""},
    Text{"menu.file.editCleanups", "&Edit Cleanups…", ""},
    Text{"menu.file.exclude", "E&xclude from Chart", ""},
    Text{"menu.file.excluded", "“%@” is left out of the chart. Edit > Undo brings it back.", ""},
    Text{"menu.file.exportSnapshot", "&Export Snapshot…", ""},
    Text{"menu.file.moveToTrash", "Move to &Trash", ""},
    Text{"menu.file.open", "Open &Folder…", ""},
    Text{"menu.file.openSequence", "Compare &Trees…", ""},
    Text{"menu.file.openSnapshot", "Open &Snapshot…", ""},
    Text{"menu.file.openTerminal", "Open Ter&minal Here", ""},
    Text{"menu.file.quicklook", "&Preview", ""},
    Text{"menu.file.savePicture", "Save Pict&ure…", ""},
    Text{"menu.file.showInFiles", "Show in &Files", ""},
    Text{"menu.file.showInGraph", "Show in &Graph", ""},
    Text{"menu.file.selectEnclosingFolder", "Select &Enclosing Folder", ""},
    Text{"menu.file.statistics", "Stat&istics", ""},
    Text{"menu.help", "&Help", ""},
    Text{"menu.help.website", "Tessera &Website", ""},
    Text{"menu.help.whatsNew", "&What’s New", ""},
    Text{"menu.view", "&View", ""},
    Text{"menu.view.animationSpeed", "Animation Speed", ""},
    Text{"menu.view.beginLayoutOnBottomEdge", "Begin Layout on &Bottom Edge", ""},
    Text{"menu.view.colorMode", "&Colours", ""},
    Text{"menu.view.cushions", "Cus&hions", ""},
    Text{"menu.view.directoryBorder", "Folder Border", ""},
    Text{"menu.view.fullScreen", "F&ull Screen", ""},
    Text{"menu.view.graphLevels", "Rings", ""},
    Text{"menu.view.graphType", "&Graph Type", ""},
    Text{"menu.view.keepAspectRatioDuringZoom", "&Keep Aspect Ratio During Zoom", ""},
    Text{"menu.view.mergeThreshold", "Merge Threshold", ""},
    Text{"menu.view.sameScale", "Same Sc&ale for All Trees", ""},
    Text{"menu.view.showNames", "Show &Names", ""},
    Text{"menu.view.showOutline", "Show &Outline", ""},
    Text{"menu.view.showVolumeAvailableSpace", "Show Volume's &Free Space", ""},
    Text{"menu.view.sizeMode", "&Size", ""},
    Text{"menu.view.treeMapLayout", "Tree Map &Layout", ""},
    Text{"menu.window", "&Window", ""},
    Text{"menu.window.bringAllToFront", "&Bring All to Front", ""},
    Text{"menu.window.logs", "&Logs", ""},
    Text{"menu.window.minimize", "&Minimise", ""},
    Text{"menu.window.zoom", "&Zoom", ""},
    Text{"open.error.folder", "“%@” could not be read:", ""},
    Text{"open.error.missing", "“%@” does not exist.", ""},
    Text{"open.error.neither", "“%@” is neither a folder nor a snapshot file.", ""},
    Text{"open.error.noSequence", "Comparing needs two trees or more; open them first.", ""},
    Text{"open.error.notTree", "“%@” holds a single file, not a tree.", ""},
    Text{"open.error.snapshot", "“%@” is not a readable snapshot:", ""},
    Text{"open.error.title", "Cannot Open", ""},
    Text{"open.reading", "Reading “%@”: %@ of %@", ""},
    Text{"open.reading.entries", "Reading “%@”: %@ of %@, %@ entries", ""},
    Text{"open.reading.cancel", "Cancel", ""},
    Text{"open.reading.title", "Opening a Snapshot", ""},
    Text{"open.snapshotFilter", "Snapshots (*.fssnapshot);;All files (*)", ""},
    Text{"open.title.folder", "Open Folder", ""},
    Text{"open.title.snapshot", "Open Snapshot", ""},
    Text{"outline.accessibility.file", "File, level %@", ""},
    Text{"outline.accessibility.folder", "Folder, level %@", ""},
    Text{"outline.accessibility.name", "Outline", ""},
    Text{"picture.error", "Cannot Save the Picture", ""},
    Text{"picture.filter.png", "PNG image (*.png)", ""},
    Text{"picture.filter.svg", "SVG image (*.svg)", ""},
    Text{"picture.title", "Save Picture", ""},
    Text{"predicateEditor.notKept", "Not used until it is mended: %@", ""},
    Text{"search.clear", "Clear Search", ""},
    Text{"search.placeholder", "Search", ""},
    Text{"search.results", "Results in “%@”", ""},
    Text{"search.results.count", "%lld result", "%lld results"},
    Text{"search.running", "Searching", ""},
    Text{"settings.filter", "Leave out what matches while scanning", ""},
    Text{"settings.filter.rescan", "The filter applies from the next scan. Scan “%@” again now?",
         ""},
    Text{"settings.filter.scanNow", "Scan Now", ""},
    Text{"settings.migration.error",
         "The settings of the earlier version could not be carried over:", ""},
    Text{"settings.repaired.kept", "The settings as they were are kept in “%@”.", ""},
    Text{"settings.repaired.text",
         "Some of the settings could not be used and were left out; the rest are kept:", ""},
    Text{"settings.repaired.title", "Settings Repaired", ""},
    Text{"settings.title", "Settings of “%@”", ""},
    Text{"settings.unusable.text",
         "The settings file could not be used, so the default settings are used:", ""},
    Text{"statistics.byAge", "By Age", ""},
    Text{"statistics.bySize", "By Size", ""},
    Text{"statistics.byType", "By Type", ""},
    Text{"statistics.category", "Category", ""},
    Text{"statistics.counting", "Counting…", ""},
    Text{"statistics.files", "Files", ""},
    Text{"statistics.largest", "Largest Files", ""},
    Text{"statistics.month", "Last Changed", ""},
    Text{"statistics.noExtension", "(no extension)", ""},
    Text{"statistics.percentile", "%@ % up to %@", ""},
    Text{"statistics.share", "Share", ""},
    Text{"statistics.size", "Size", ""},
    Text{"statistics.sizes", "File Sizes", ""},
    Text{"statistics.summary",
         "%@ files, %@. File sizes: %@. Double-click a row to light its files in the graph and "
         "list them in the outline.",
         ""},
    Text{"statistics.title", "Statistics", ""},
    Text{"statistics.type", "Type", ""},
    Text{"toolbar.back", "Back", ""},
    Text{"toolbar.forward", "Forward", ""},
    Text{"toolbar.path", "Path", ""},
    Text{"toolbar.path.more", "Folders above", ""},
    Text{"trash.error.title", "Cannot Move to Trash", ""},
    Text{"trash.restoreError.title", "Cannot Put Back from Trash", ""},
    Text{"treeMap.layout.snake", "Snake", ""},
    Text{"treeMap.layout.spiral", "Spiral", ""},
    Text{"treeMap.layout.spiralSnake", "Spiral Snake", ""},
    Text{"treeMap.layout.stack", "Stack", ""},
    Text{"whatsNew.colorMode.description",
         "Colour the graph by when files were created or last changed.", ""},
    Text{"whatsNew.colorMode.title", "Colours by Date", ""},
    Text{"whatsNew.fileSequence.description",
         "Open two trees or more of one folder, taken at different times, and slide between "
         "them to see how it grew.",
         ""},
    Text{"whatsNew.fileSequence.title", "Compare Trees", ""},
    Text{"whatsNew.graphType.description",
         "Show a folder as a tree map in four layouts as well as a pie chart.", ""},
    Text{"whatsNew.graphType.title", "Tree Map", ""},
    Text{"whatsNew.title", "What’s New in Tessera", ""},
};

const Text* find(std::string_view key) {
    for (const Text& text : texts)
        if (text.key == key) return &text;
    return nullptr;
}

std::string replace(std::string_view format, std::string_view placeholder, std::string_view value) {
    std::string result(format);
    if (const auto at = result.find(placeholder); at != std::string::npos)
        result.replace(at, placeholder.size(), value);
    return result;
}

} // namespace

std::string_view localizedText(std::string_view key) {
    const Text* text = find(key);
    return text != nullptr ? text->one : key;
}

std::string localizedFormat(std::string_view key, std::string_view argument) {
    return replace(localizedText(key), "%@", argument);
}

std::string localizedFormat(std::string_view key,
                            std::initializer_list<std::string_view> arguments) {
    std::string result(localizedText(key));
    for (const std::string_view argument : arguments)
        result = replace(result, "%@", argument);
    return result;
}

std::string localizedCountFormat(std::string_view key, std::int64_t count) {
    const Text* text = find(key);
    if (text == nullptr) return std::string(key);
    const std::string_view form = (count == 1 || text->other.empty()) ? text->one : text->other;
    return replace(form, "%lld", formatCount(count));
}

} // namespace tessera
