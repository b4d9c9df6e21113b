#include "app/graphview/GraphAccessible.h"

#include "app/QtConversions.h"
#include "app/desktop/AtSpiEvents.h"
#include "controller/FileController.h"
#include "graph/Graph.h"
#include "model/File.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QHash>
#include <QPointer>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <unordered_map>

namespace tessera {
namespace {

// Half the side of the square an entry reports as its place: the layout knows its centre.
constexpr int kEntryExtent = 4;

QHash<const QObject*, Graph*>& exposedGraphs() {
    static QHash<const QObject*, Graph*> graphs;
    return graphs;
}

class GraphAccessible;

// One entry of the picture. It answers nothing once the tree or the shown folder changed after
// it was made: its file may be gone by then.
class GraphEntryAccessible final : public QAccessibleInterface {
public:
    GraphEntryAccessible(GraphAccessible& chart, File& file, std::uint64_t revision)
        : chart_(chart), file_(file), revision_(revision) {}

    bool isValid() const override;
    QObject* object() const override { return nullptr; }
    QWindow* window() const override;
    QAccessibleInterface* parent() const override;
    QAccessibleInterface* child(int index) const override;
    int childCount() const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text kind) const override;
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override;
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override;

    File& file() const { return file_; }

private:
    GraphAccessible& chart_;
    File& file_;
    std::uint64_t revision_;
};

class GraphAccessible final : public QAccessibleWidget {
public:
    GraphAccessible(QWidget* widget, Graph& graph)
        : QAccessibleWidget(widget, QAccessible::Chart), graph_(graph) {}
    ~GraphAccessible() override { dropEntries(); }

    Graph& graph() const { return graph_; }
    QWidget* view() const { return widget(); }

    QString text(QAccessible::Text kind) const override {
        // The chart's description names the shown folder: what a zoom announces; then the
        // legend of the colour mode by file type, when it is shown.
        if (kind == QAccessible::Description && graph_.file() != nullptr) {
            std::string description = graph_.accessibleDescription(*graph_.file());
            if (const GraphLegend* legend = graph_.legend())
                if (const std::string spoken = legend->spokenText(graph_.settings().sizeMode);
                    !spoken.empty())
                    description += ". " + spoken;
            return toQString(description);
        }
        return QAccessibleWidget::text(kind);
    }
    int childCount() const override {
        return graph_.file() != nullptr ? static_cast<int>(shownEntries().size()) : 0;
    }
    QAccessibleInterface* child(int index) const override {
        if (graph_.file() == nullptr) return nullptr;
        const auto entries = shownEntries();
        if (index < 0 || static_cast<std::size_t>(index) >= entries.size()) return nullptr;
        return entry(*entries[static_cast<std::size_t>(index)]);
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        const auto* entry = dynamic_cast<const GraphEntryAccessible*>(child);
        if (entry == nullptr || !entry->isValid() || graph_.file() == nullptr) return -1;
        return indexIn(shownEntries(), entry->file());
    }
    QAccessibleInterface* focusChild() const override {
        File* active = graph_.activeFile();
        if (active == nullptr || active == graph_.file() || graph_.file() == nullptr ||
            !active->isDescendant(*graph_.file()) || !graph_.fileDraw() ||
            !graph_.fileDraw()->center(*active))
            return nullptr;
        return entry(*active);
    }
    QAccessibleInterface* childAt(int x, int y) const override {
        QWidget* widget = view();
        if (graph_.fileDraw() == nullptr || graph_.file() == nullptr) return nullptr;
        const QPoint local = widget->mapFromGlobal(QPoint(x, y));
        if (!widget->rect().contains(local)) return nullptr;
        const DrawPoint point{local.x() - widget->width() / 2.0,
                              widget->height() / 2.0 - local.y()};
        File* found = graph_.fileDraw()->fileAt(point, nullptr);
        if (found == nullptr || found == graph_.file() || !found->isDescendant(*graph_.file()))
            return nullptr;
        return entry(*found);
    }

    /// The interface of an entry, made once per tree revision.
    QAccessibleInterface* entry(File& file) const {
        if (graph_.treeRevision() != revision_) {
            dropEntries();
            revision_ = graph_.treeRevision();
        }
        if (const auto found = entries_.find(&file); found != entries_.end())
            return QAccessible::accessibleInterface(found->second);
        auto* made = new GraphEntryAccessible(const_cast<GraphAccessible&>(*this), file, revision_);
        entries_.emplace(&file, QAccessible::registerAccessibleInterface(made));
        return made;
    }
    static int indexIn(const std::vector<File*>& entries, const File& file) {
        const auto at = std::ranges::find(entries, &file);
        return at != entries.end() ? static_cast<int>(at - entries.begin()) : -1;
    }
    /// Where a point of the graph (origin at the centre, y up) is on the screen.
    QPoint globalPoint(DrawPoint point) const {
        QWidget* widget = view();
        return widget->mapToGlobal(QPoint(static_cast<int>(widget->width() / 2.0 + point.x),
                                          static_cast<int>(widget->height() / 2.0 - point.y)));
    }

private:
    std::vector<File*> shownEntries() const { return graph_.visibleContents(*graph_.file()); }
    void dropEntries() const {
        // Taken out first: deleting an interface may ask this one again.
        auto entries = std::move(entries_);
        entries_.clear();
        for (const auto& [file, id] : entries)
            QAccessible::deleteAccessibleInterface(id);
    }

public:
    /// What the keyboard was last announced on: the chart itself or an entry.
    QAccessible::Id lastAnnounced = 0;

private:
    Graph& graph_;
    mutable std::unordered_map<const File*, QAccessible::Id> entries_;
    mutable std::uint64_t revision_ = 0;
};

bool GraphEntryAccessible::isValid() const {
    return chart_.graph().treeRevision() == revision_ && chart_.graph().file() != nullptr;
}

QWindow* GraphEntryAccessible::window() const {
    return chart_.view()->window()->windowHandle();
}

QAccessibleInterface* GraphEntryAccessible::parent() const {
    if (!isValid()) return nullptr;
    File* folder = file_.parent();
    if (folder == nullptr || folder == chart_.graph().file()) return &chart_;
    return chart_.entry(*folder);
}

QAccessibleInterface* GraphEntryAccessible::child(int index) const {
    if (!isValid()) return nullptr;
    const auto entries = chart_.graph().visibleContents(file_);
    if (index < 0 || static_cast<std::size_t>(index) >= entries.size()) return nullptr;
    return chart_.entry(*entries[static_cast<std::size_t>(index)]);
}

int GraphEntryAccessible::childCount() const {
    return isValid() ? static_cast<int>(chart_.graph().visibleContents(file_).size()) : 0;
}

int GraphEntryAccessible::indexOfChild(const QAccessibleInterface* child) const {
    const auto* entry = dynamic_cast<const GraphEntryAccessible*>(child);
    if (entry == nullptr || !isValid() || !entry->isValid()) return -1;
    return GraphAccessible::indexIn(chart_.graph().visibleContents(file_), entry->file());
}

QString GraphEntryAccessible::text(QAccessible::Text kind) const {
    if (!isValid() || chart_.graph().fileController() == nullptr) return {};
    switch (kind) {
    case QAccessible::Name:
        return toQString(chart_.graph().fileController()->displayName(file_));
    case QAccessible::Description:
        return toQString(chart_.graph().accessibleDetails(file_));
    default:
        return {};
    }
}

QRect GraphEntryAccessible::rect() const {
    if (!isValid() || chart_.graph().fileDraw() == nullptr) return {};
    const auto centre = chart_.graph().fileDraw()->center(file_);
    if (!centre) return {};
    const QPoint at = chart_.globalPoint(*centre);
    return {at.x() - kEntryExtent, at.y() - kEntryExtent, 2 * kEntryExtent, 2 * kEntryExtent};
}

QAccessible::State GraphEntryAccessible::state() const {
    QAccessible::State state;
    if (!isValid()) {
        state.invalid = true;
        return state;
    }
    state.focusable = true;
    state.selectable = true;
    const bool active = chart_.graph().activeFile() == &file_;
    state.selected = active;
    state.focused = active && chart_.view()->hasFocus();
    return state;
}

QAccessibleInterface* makeGraphAccessible(const QString&, QObject* object) {
    auto* widget = qobject_cast<QWidget*>(object);
    if (widget == nullptr) return nullptr;
    Graph* graph = exposedGraphs().value(widget, nullptr);
    return graph != nullptr ? new GraphAccessible(widget, *graph) : nullptr;
}

} // namespace

void exposeGraphToAssistiveTechnology(QWidget& widget, Graph& graph) {
    static const bool installed = [] {
        QAccessible::installFactory(makeGraphAccessible);
        return true;
    }();
    (void)installed;
    exposedGraphs().insert(&widget, &graph);
    QObject::connect(&widget, &QObject::destroyed,
                     [key = static_cast<const QObject*>(&widget)] { exposedGraphs().remove(key); });
}

void announceGraphFocus(QWidget& widget, GraphFocusChange change) {
    if (!QAccessible::isActive() || !widget.hasFocus()) return;
    auto* chart = dynamic_cast<GraphAccessible*>(QAccessible::queryAccessibleInterface(&widget));
    if (chart == nullptr) return;
    const QAccessible::Id chartId = QAccessible::uniqueId(chart);
    QAccessibleInterface* entry = chart->focusChild();
    if (entry == nullptr) {
        if (change == GraphFocusChange::arrived) {
            // Qt announced the chart as the view took the keyboard.
        } else if (chart->lastAnnounced == chartId) {
            // A screen reader hears a second focus event on the object it is on as nothing:
            // the folder a zoom shows comes as the chart's new description instead.
            sendAtSpiDescriptionChange(*chart, chart->text(QAccessible::Description));
        } else {
            QAccessibleEvent event(chart, QAccessible::Focus);
            QAccessible::updateAccessibility(&event);
        }
        chart->lastAnnounced = chartId;
        return;
    }
    const QAccessible::Id entryId = QAccessible::uniqueId(entry);
    if (entryId == chart->lastAnnounced && change == GraphFocusChange::moved) return;
    QAccessibleEvent event(entry, QAccessible::Focus);
    QAccessible::updateAccessibility(&event);
    chart->lastAnnounced = entryId;
}

} // namespace tessera
