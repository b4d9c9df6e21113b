#include "app/graphview/GraphViewController.h"

#include "app/desktop/FilePreview.h"
#include "app/graphview/GraphAccessible.h"
#include "app/graphview/GraphFocusFrame.h"
#include "app/graphview/GraphViewOpenGL.h"
#include "app/graphview/GraphViewSoftware.h"
#include "controller/FileController.h"
#include "graph/Graph.h"
#include "logs/Logger.h"
#include "model/Localization.h"

#include <QAccessible>
#include <QContextMenuEvent>
#include <QCursor>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace tessera {
namespace {

// A press and release closer than this (in points) is a click, not a drag.
constexpr double kClickSlop = 4.0;

} // namespace

GraphViewController::GraphViewController(Settings& settings, std::function<void()> save,
                                         const LabelTypesetter& typesetter,
                                         const GraphViewOptions& options, QWidget* parent)
    : QObject(parent), graph_(std::make_unique<Graph>(settings, std::move(save))) {
    makeSurface(typesetter, options);
    QWidget* widget = surface_->widget();
    exposeGraphToAssistiveTechnology(*widget, *graph_);
    widget->setMinimumSize(300, 300);
    widget->setMouseTracking(true);
    widget->setFocusPolicy(Qt::StrongFocus);
    widget->setContextMenuPolicy(Qt::DefaultContextMenu);
    widget->setAccessibleName(QString::fromUtf8(localizedText("graph.accessibility.name")));
    widget->installEventFilter(this);
    if (QWindow* window = surface_->eventWindow()) {
        // The keyboard stays with the view's widget, in the window's focus chain (so that Tab
        // leaves the graph and screen readers follow): the OpenGL window never takes it.
        window->setFlag(Qt::WindowDoesNotAcceptFocus);
        // Events that reach the view's own window come here as well.
        window->installEventFilter(this);
    }
    frame_ = new GraphFocusFrame(*widget, parent);
    graph_->setView(&surface_->graphView());
    graph_->setUp();
    graph_->updateAppearance();
    graph_->redisplay();
}

GraphViewController::~GraphViewController() {
    if (surfaceWidget_) {
        if (QWindow* window = surface_->eventWindow()) window->removeEventFilter(this);
        surfaceWidget_->removeEventFilter(this);
        delete surfaceWidget_.data();
    }
    delete frame_.data();
    graph_->setView(nullptr);
    graph_->setFileController(nullptr);
}

void GraphViewController::makeSurface(const LabelTypesetter& typesetter,
                                      const GraphViewOptions& options) {
    std::string why = "turned off by the user";
    if (!options.forceSoftware) {
        const OpenGLProbeResult probe = options.probe();
        if (probe.usable) {
            Logger::log(2, "Graph view: OpenGL 3.3 core on " + probe.detail);
            auto* view = new GraphViewOpenGL(*graph_, typesetter, options.shaders);
            surface_ = view;
            surfaceWidget_ = view->widget();
            return;
        }
        why = probe.detail;
    }
    Logger::log(2, "Graph view: software rendering (" + why + ")");
    auto* view = new GraphViewSoftware(*graph_, typesetter);
    surface_ = view;
    surfaceWidget_ = view;
}

QWidget* GraphViewController::view() const {
    return surfaceWidget_.data();
}

QWidget* GraphViewController::container() const {
    return frame_.data();
}

void GraphViewController::announceFocus() {
    if (surfaceWidget_) announceGraphFocus(*surfaceWidget_, GraphFocusChange::moved);
}

bool GraphViewController::usesOpenGL() const {
    return surface_ != nullptr && surface_->eventWindow() != nullptr;
}

void GraphViewController::setContextMenu(QMenu* menu) {
    contextMenu_ = menu;
}

File* GraphViewController::targetFile() const {
    return graph_->clickedFile() != nullptr ? graph_->clickedFile() : graph_->activeFile();
}

bool GraphViewController::canShowEnclosingFolder() const {
    return graph_->file() != nullptr && graph_->file()->parent() != nullptr;
}

void GraphViewController::showEnclosingFolder() {
    if (canShowEnclosingFolder()) graph_->navigate(*graph_->file()->parent());
    emit stateChanged();
}

void GraphViewController::previewTargetFile() {
    FileController* controller = graph_->fileController();
    File* file = targetFile();
    // Neither a snapshot's entries nor those of a scan's picture stand for files to open.
    if (controller == nullptr || controller->isSnapshot() || controller->showsScanPreview() ||
        file == nullptr)
        return;
    previewFile(*controller, *file, surfaceWidget_);
}

void GraphViewController::trackPointer(QPointF position) {
    if (graph_->file() == nullptr || !surfaceWidget_) return;
    // Widget coordinates (origin top left, y down) to the graph's (origin at the centre, y up).
    graph_->pointerLocation = {position.x() - surfaceWidget_->width() / 2.0,
                               surfaceWidget_->height() / 2.0 - position.y()};
    const File* before = graph_->activeFile();
    graph_->updateActiveFileFromPointer();
    graph_->setNeedsDisplay();
    // The file commands act on the file under the pointer: their rules read it.
    if (graph_->activeFile() != before) emit stateChanged();
}

void GraphViewController::trackCursor() {
    if (!surfaceWidget_) return;
    const QPointF position = surfaceWidget_->mapFromGlobal(QCursor::pos());
    if (surfaceWidget_->rect().contains(position.toPoint()))
        trackPointer(position);
    else
        graph_->setActiveFile(nullptr);
}

bool GraphViewController::handleKey(QKeyEvent& event) {
    const auto modifiers = event.modifiers() & ~Qt::KeypadModifier;
    if (modifiers == Qt::AltModifier && event.key() == Qt::Key_Up) {
        showEnclosingFolder();
        return true;
    }
    if (modifiers != Qt::NoModifier) return false;
    switch (event.key()) {
    case Qt::Key_Left:
        graph_->selectSibling(+1);
        announceFocus();
        break;
    case Qt::Key_Right:
        graph_->selectSibling(-1);
        announceFocus();
        break;
    case Qt::Key_Down:
        graph_->selectFirstChild();
        announceFocus();
        break;
    case Qt::Key_Up:
        graph_->selectParent();
        announceFocus();
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        graph_->click();
        break;
    case Qt::Key_Backspace:
        showEnclosingFolder();
        break;
    case Qt::Key_Space:
        if (graph_->activeFile() == nullptr) return false;
        previewTargetFile();
        break;
    default:
        return false;
    }
    emit stateChanged();
    return true;
}

void GraphViewController::showContextMenu(QPointF position, QPoint globalPosition) {
    if (!contextMenu_ || graph_->file() == nullptr) return;
    trackPointer(position);
    graph_->setClickedFile(graph_->activeFile());
    emit stateChanged();
    contextMenu_->exec(globalPosition);
    // The menu's command has run by now; the pointer takes over again once the menu is gone.
    QTimer::singleShot(0, this, [this] {
        graph_->setClickedFile(nullptr);
        if (surfaceWidget_ && surfaceWidget_->isActiveWindow())
            trackCursor();
        else
            graph_->setActiveFile(nullptr);
        emit stateChanged();
    });
}

bool GraphViewController::eventFilter(QObject* watched, QEvent* event) {
    if (!surfaceWidget_ || (watched != surfaceWidget_ && watched != surface_->eventWindow()))
        return false;
    switch (event->type()) {
    case QEvent::MouseMove: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (surfaceWidget_->isActiveWindow()) trackPointer(mouse->position());
        if (pressed_ && QLineF(pressedAt_, mouse->position()).length() > kClickSlop)
            pressed_ = false;
        return false;
    }
    case QEvent::Enter:
        if (surfaceWidget_->isActiveWindow())
            trackPointer(static_cast<QEnterEvent*>(event)->position());
        return false;
    case QEvent::Leave:
        graph_->setActiveFile(nullptr);
        return false;
    case QEvent::WindowActivate:
        trackCursor();
        return false;
    case QEvent::WindowDeactivate:
        graph_->setActiveFile(nullptr);
        return false;
    case QEvent::MouseButtonPress: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        // A window of its own gets no context menu events: the right button opens the menu.
        if (mouse->button() == Qt::RightButton && watched != surfaceWidget_) {
            showContextMenu(mouse->position(), mouse->globalPosition().toPoint());
            return true;
        }
        // A click on the graph gives it the keyboard (the OpenGL window takes none itself).
        surfaceWidget_->setFocus(Qt::MouseFocusReason);
        if (mouse->button() == Qt::LeftButton) {
            pressed_ = true;
            pressedAt_ = mouse->position();
        }
        return false;
    }
    case QEvent::MouseButtonRelease: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::LeftButton || !pressed_) return false;
        pressed_ = false;
        if (graph_->file() == nullptr) return false;
        trackPointer(mouse->position());
        graph_->click();
        emit stateChanged();
        return true;
    }
    case QEvent::KeyPress:
        return handleKey(*static_cast<QKeyEvent*>(event));
    case QEvent::FocusIn:
        // The entry the keyboard left is where it comes back to.
        QTimer::singleShot(0, this, [this] {
            if (surfaceWidget_) announceGraphFocus(*surfaceWidget_, GraphFocusChange::arrived);
        });
        // The OpenGL view's widget would hand the keyboard on to its window: it keeps it.
        return watched == surfaceWidget_ && surface_->eventWindow() != nullptr;
    case QEvent::ContextMenu: {
        auto* menu = static_cast<QContextMenuEvent*>(event);
        showContextMenu(menu->pos(), menu->globalPos());
        return true;
    }
    default:
        return false;
    }
}

} // namespace tessera
