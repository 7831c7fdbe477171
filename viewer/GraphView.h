// The uses graph of a folder, laid out by the Graphviz library (the "dot"
// layout of the same DOT text that unitpeek-dump --graph prints) and drawn
// in a zoomable, pannable view: the wheel or Ctrl+'+' / Ctrl+'-' zoom,
// dragging pans, clicking a unit reports it. StartLayout lays the graph out
// on a thread of its own and draws it when done (layoutFinished), so that a
// large graph does not hold up the window; CancelLayout gives it up.
#pragma once

#include <QGraphicsView>
#include <QString>
#include <atomic>
#include <memory>
#include <thread>
#include <vector>

#include "UsesGraph.h"

class TGraphView : public QGraphicsView {
  Q_OBJECT
 public:
  explicit TGraphView(QWidget* Parent = nullptr);
  ~TGraphView() override;

  // Lays the graph out and draws it, now; the runtime units are left out when
  // HideRuntime is set. False, with the scene showing why, when the layout fails.
  bool SetGraph(const TUsesGraph& Graph, bool HideRuntime);
  bool SetGraph(const TUsesGraph& Graph, const TDotOptions& Options);
  // Lays the graph out on another thread; the drawing stays as it is until
  // the layout is done and drawn (layoutFinished). A layout asked for before
  // replaces one under way.
  void StartLayout(const TUsesGraph& Graph, const TDotOptions& Options);
  // Gives up the layout under way (layoutFinished(false)); the drawing stays.
  void CancelLayout();
  bool Laying() const { return FLaying; }
  // The drawn units (node indexes of the graph) and the layout's error, if any.
  int NodeItemCount() const { return FNodeItems; }
  const QString& LayoutError() const { return FError; }
  // The node index drawn at a point of the scene, or -1.
  int NodeAt(const QPointF& ScenePos) const;

  void ZoomBy(double Factor);

 signals:
  // A click (not a drag) on a unit: its node index in the graph.
  void nodeClicked(int Node);
  // A layout of StartLayout drawn (true), failed (false, LayoutError says
  // why) or cancelled (false, no error).
  void layoutFinished(bool Drawn);

 public:
  struct TLaidGraph;

 protected:
  void wheelEvent(QWheelEvent* Event) override;
  void keyPressEvent(QKeyEvent* Event) override;
  void mousePressEvent(QMouseEvent* Event) override;
  void mouseReleaseEvent(QMouseEvent* Event) override;

 private:
  void LayoutDone(int Job, const TLaidGraph& Laid);
  bool Show(const TLaidGraph& Laid);
  void FitToView();

  int FNodeItems = 0;
  QString FError;
  QPoint FPressPos;
  int FJob = 0;  // the number of the layout last asked for
  bool FLaying = false;
  struct TWorker {
    std::thread Thread;
    std::shared_ptr<std::atomic<bool>> Done;
  };
  std::vector<TWorker> FWorkers;
};
