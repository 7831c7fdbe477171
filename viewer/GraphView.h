// The uses graph of a folder, laid out by the Graphviz library (the "dot"
// layout of the same DOT text that unitpeek-dump --graph prints) and drawn
// in a zoomable, pannable view: the wheel or Ctrl+'+' / Ctrl+'-' zoom,
// dragging pans, clicking a unit reports it.
#pragma once

#include <QGraphicsView>
#include <QString>

#include "UsesGraph.h"

class TGraphView : public QGraphicsView {
  Q_OBJECT
 public:
  explicit TGraphView(QWidget* Parent = nullptr);

  // Lays the graph out and draws it; the runtime units are left out when
  // HideRuntime is set. False, with the scene showing why, when the layout fails.
  bool SetGraph(const TUsesGraph& Graph, bool HideRuntime);
  // The drawn units (node indexes of the graph) and the layout's error, if any.
  int NodeItemCount() const { return FNodeItems; }
  const QString& LayoutError() const { return FError; }
  // The node index drawn at a point of the scene, or -1.
  int NodeAt(const QPointF& ScenePos) const;

  void ZoomBy(double Factor);

 signals:
  // A click (not a drag) on a unit: its node index in the graph.
  void nodeClicked(int Node);

 protected:
  void wheelEvent(QWheelEvent* Event) override;
  void keyPressEvent(QKeyEvent* Event) override;
  void mousePressEvent(QMouseEvent* Event) override;
  void mouseReleaseEvent(QMouseEvent* Event) override;

 private:
  void FitLargeGraph();

  int FNodeItems = 0;
  QString FError;
  QPoint FPressPos;
};
