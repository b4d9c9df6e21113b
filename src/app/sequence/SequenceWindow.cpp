#include "app/sequence/SequenceWindow.h"

#include "app/Application.h"
#include "app/QtConversions.h"
#include "app/commands/CommandSet.h"
#include "app/commands/GraphCommands.h"
#include "app/commands/WindowCommands.h"
#include "app/defaults/UserDefaults.h"
#include "app/graphview/GraphViewController.h"
#include "app/sequence/ChangeList.h"
#include "controller/FileController.h"
#include "graph/Graph.h"
#include "graph/SequenceSlider.h"
#include "model/Directory.h"
#include "model/Localization.h"
#include "settings/Settings.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QMenuBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QSplitter>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QVBoxLayout>
#include <cmath>

namespace tessera {
namespace {

constexpr int kMargin = 16;

// A comparison's own settings: the user's, coloured by what changed. What the window changes
// (its colours) stays with it.
std::unique_ptr<Settings> comparisonSettings(const Settings& user) {
    auto settings = std::make_unique<Settings>(user);
    settings->colorMode = ColorMode::change;
    return settings;
}

} // namespace

SequenceWindow::SequenceWindow(Application& application,
                               std::vector<std::shared_ptr<FileController>> trees,
                               std::vector<std::string> labels)
    : settings_(comparisonSettings(application.settings())), trees_(std::move(trees)),
      position_(std::make_unique<SequenceSlider>(trees_.size())), commands_(new CommandSet(this)),
      graphViewController_(new GraphViewController(
          *settings_, [] {}, application.typesetter(), application.graphViewOptions(), this)) {
    setAttribute(Qt::WA_DeleteOnClose);
    for (const auto& tree : trees_)
        roots_.push_back(tree->rootFile());
    QStringList names;
    for (const std::string& label : labels)
        names << toQString(label).replace(QLatin1Char('\n'), QLatin1Char(' '));
    setWindowTitle(names.join(QStringLiteral(" → ")));

    // The graph beside the list of what changed, above the slider.
    auto* beside = new QSplitter(Qt::Horizontal, this);
    beside->addWidget(graphViewController_->container());
    changeList_ = new ChangeList(beside);
    changeList_->activated = [this](const File& file) { showChangedEntry(file); };
    beside->addWidget(changeList_);
    beside->setStretchFactor(0, 3);
    beside->setStretchFactor(1, 2);
    beside->setChildrenCollapsible(false);
    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(beside);
    split->addWidget(makeSliderPanel(labels));
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 0);
    split->setChildrenCollapsible(false);
    setCentralWidget(split);
    addCommands(application);
    connect(graphViewController_, &GraphViewController::stateChanged, commands_,
            &CommandSet::refresh);
    restoreWindowGeometry(*this, "graphWindow", {900, 760});

    // The graph belongs to the last tree's controller and starts on the first tree.
    graph().setFileController(trees_.back());
    graph().setFileSequence(roots_, 0, 0);
    changeList_->show(graph().sequenceComparison());
    slider_->setFocus();
}

SequenceWindow::~SequenceWindow() = default;

Graph& SequenceWindow::graph() const {
    return graphViewController_->graph();
}

void SequenceWindow::addCommands(Application& application) {
    CommandSet& commands = *commands_;
    commands.add(
        command::openFolder, localizedQString("menu.file.open"),
        [this, &application] { application.chooseFolder(this); }, {}, QKeySequence::Open);
    addWindowCommands(commands, *this);
    addApplicationCommands(commands, *this, application);
    addGraphCommands(commands, *graphViewController_);
    // A sequence shows trees as they were: nothing may change how the graph lays them out.
    commands.disablesGraphCommands = [] { return true; };
    // Its colours and its scale may change, standing on a tree.
    const auto standsOnATree = [this] { return !graph().showsFileSequence(); };
    for (const ColorMode mode : allColorModes)
        commands.route(
            command::choice(mode), [] { return true; },
            [this, mode] {
                graph().changeSettings([mode](Settings& next) { next.colorMode = mode; });
            },
            standsOnATree);
    commands.route(
        command::toggleSameScale, [] { return true; },
        [this] {
            graph().changeSettings([](Settings& next) { next.sameScale = !next.sameScale; });
        },
        standsOnATree);
    for (QAction* action : commands.actions())
        addAction(action);

    commands.fill(menuBar()->addMenu(localizedQString("menu.file")),
                  {command::openFolder, separator, command::close, command::quit});
    addViewMenu(*this, commands);
    addWindowAndHelpMenus(*this, commands);
    commands.refresh();
}

QWidget* SequenceWindow::makeSliderPanel(const std::vector<std::string>& labels) {
    auto* panel = new QWidget(this);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    slider_ = new QSlider(Qt::Horizontal, panel);
    slider_->setObjectName(QStringLiteral("sequenceSlider"));
    slider_->setRange(0, static_cast<int>(trees_.size() - 1) * kStepsPerTree);
    slider_->setSingleStep(kStepsPerTree / 100);
    slider_->setPageStep(kStepsPerTree);
    slider_->setTickInterval(kStepsPerTree);
    slider_->setTickPosition(QSlider::TicksBelow);
    slider_->setAccessibleName(localizedQString("fileSequence.slider"));
    layout->addWidget(slider_);
    // The labels stand under their ticks; they are placed by hand as the slider resizes.
    auto* labelRow = new QWidget(panel);
    labelRow->setObjectName(QStringLiteral("tickLabels"));
    for (const std::string& label : labels) {
        auto* tick = new QLabel(toQString(label), labelRow);
        tick->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
        tick->adjustSize();
        tickLabels_.push_back(tick);
    }
    int height = 0;
    for (QLabel* tick : tickLabels_)
        height = std::max(height, tick->sizeHint().height());
    labelRow->setFixedHeight(height);
    labelRow->installEventFilter(this);
    layout->addWidget(labelRow);
    panel->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    connect(slider_, &QSlider::valueChanged, this, &SequenceWindow::sliderMoved);
    return panel;
}

bool SequenceWindow::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Resize && watched->objectName() == QStringLiteral("tickLabels"))
        placeTickLabels();
    return QMainWindow::eventFilter(watched, event);
}

void SequenceWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    placeTickLabels();
}

void SequenceWindow::placeTickLabels() {
    if (tickLabels_.empty()) return;
    QWidget* row = tickLabels_.front()->parentWidget();
    QStyleOptionSlider option;
    option.initFrom(slider_);
    option.orientation = Qt::Horizontal;
    option.minimum = slider_->minimum();
    option.maximum = slider_->maximum();
    const QRect handle = slider_->style()->subControlRect(QStyle::CC_Slider, &option,
                                                          QStyle::SC_SliderHandle, slider_);
    const int span = slider_->width() - handle.width();
    for (std::size_t i = 0; i < tickLabels_.size(); ++i) {
        QLabel* tick = tickLabels_[i];
        const int centre =
            QStyle::sliderPositionFromValue(slider_->minimum(), slider_->maximum(),
                                            static_cast<int>(i) * kStepsPerTree, span) +
            handle.width() / 2;
        const QPoint inRow = row->mapFrom(slider_->parentWidget(), slider_->pos()) +
                             QPoint(centre - tick->width() / 2, 0);
        // Labels at the ends stay inside the row.
        const int x = std::clamp(inRow.x(), 0, std::max(0, row->width() - tick->width()));
        tick->move(x, 0);
    }
}

void SequenceWindow::sliderMoved(int value) {
    const SequenceSlider::Position position =
        position_->move(static_cast<double>(value) / kStepsPerTree);
    if (position.reachedTree) ++treesReached_;
    const int snapped = static_cast<int>(std::lround(position.value * kStepsPerTree));
    if (snapped != value) {
        const QSignalBlocker blocker(slider_);
        slider_->setValue(snapped);
    }
    graph().setFileSequence(roots_, position.index, position.fraction);
    changeList_->show(graph().sequenceComparison());
}

void SequenceWindow::showChangedEntry(const File& file) {
    // Shown where the tree the graph stands on holds it: a folder itself, a file in its folder.
    const File* shown = graph().file();
    if (shown == nullptr || graph().showsFileSequence()) return;
    const File* root = shown;
    while (root->parent() != nullptr)
        root = root->parent();
    const File* top = &file;
    while (top->parent() != nullptr)
        top = top->parent();
    if (top != root) return;
    File& entry = const_cast<File&>(file);
    graph().navigate(entry.isDirectory() || entry.parent() == nullptr ? entry : *entry.parent());
}

void SequenceWindow::closeEvent(QCloseEvent* event) {
    saveWindowGeometry(*this, "graphWindow");
    graph().setFileController(nullptr);
    event->accept();
}

} // namespace tessera
