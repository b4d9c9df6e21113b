// What screen readers see of a graph: a chart whose children are the entries the picture lays
// out (a folder's entries are its children in turn), each named after its file and described by
// its size, its share of its folder and its place among the folder's entries. The entry the
// keyboard chose is the chart's focused child; moving the keyboard announces it.
#pragma once

class QWidget;

namespace tessera {

class Graph;

/// Gives `widget` (the graph's view) the graph's accessible interface. Call it before anything
/// asks for the widget's interface; it holds while the widget lives.
void exposeGraphToAssistiveTechnology(QWidget& widget, Graph& graph);

enum class GraphFocusChange {
    moved,   ///< the keys moved to another entry, or zoomed
    arrived, ///< the view has just taken the keyboard (Qt announced the chart)
};

/// Tells assistive technology where the keyboard is in the graph: on the active entry, or on
/// the chart itself (which names the shown folder). Nothing while the view lacks the focus.
void announceGraphFocus(QWidget& widget, GraphFocusChange change);

} // namespace tessera
