// The uses graph laid out by Graphviz and drawn in a QGraphicsView (see GraphView.h).
#include "GraphView.h"

#include <graphviz/gvc.h>

#include <QGraphicsPathItem>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QHash>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainterPath>
#include <QWheelEvent>
#include <cmath>
#include <atomic>
#include <memory>
#include <mutex>

namespace {

const QColor FindingColor(200, 0, 0);
const QColor OutsideColor(140, 140, 140);
const QColor EdgeColor(80, 80, 80);
constexpr double PointsPerInch = 72.0;

// The Graphviz objects of one layout, released in the right order.
struct TLayout {
  GVC_t* Context = gvContext();
  Agraph_t* Graph = nullptr;
  bool Laid = false;
  ~TLayout() {
    if (Graph && Laid) gvFreeLayout(Context, Graph);
    if (Graph) agclose(Graph);
    gvFreeContext(Context);
  }

  // Reads the DOT text and lays it out with "dot"; the reason, when that
  // fails, in Error.
  bool Run(const std::string& Dot, QString& Error) {
    Graph = agmemread(Dot.c_str());
    if (!Graph) {
      Error = TGraphView::tr("The uses graph could not be read by Graphviz.");
      return false;
    }
    if (gvLayout(Context, Graph, "dot") != 0) {
      Error = TGraphView::tr("Graphviz could not lay out the uses graph.");
      return false;
    }
    Laid = true;
    return true;
  }
};

QPainterPath Arrow(QPointF From, QPointF Tip) {
  QPointF D = Tip - From;
  double L = std::hypot(D.x(), D.y());
  QPainterPath P;
  if (L < 0.01) return P;
  QPointF U = D / L, N(-U.y(), U.x());
  P.moveTo(Tip);
  P.lineTo(From + N * (L * 0.45));
  P.lineTo(From - N * (L * 0.45));
  P.closeSubpath();
  return P;
}

// One unit of the layout: its node index, centre and size in scene
// coordinates (Graphviz counts y upwards; these count down).
struct TLaidNode {
  int Index = -1;
  QPointF Centre;
  double W = 0, H = 0;
};
// One stroke of a use: its curve and its arrow heads (start, end).
struct TLaidStroke {
  QPainterPath Curve;
  bool EndHead = false, StartHead = false;
  QPointF EndFrom, EndTip, StartFrom, StartTip;
};
struct TLaidEdge {
  int From = -1, To = -1;
  std::vector<TLaidStroke> Strokes;
};

}  // namespace

// Where the layout put everything, without any Graphviz object: made on the
// layout's thread, drawn on the window's.
struct TGraphView::TLaidGraph {
  std::shared_ptr<const TUsesGraph> Graph;
  std::vector<TLaidNode> Nodes;
  std::vector<TLaidEdge> Edges;
  QString Error;
};

namespace {

// Graphviz keeps global state: one layout at a time in the process.
std::mutex& LayoutMutex() {
  static std::mutex M;
  return M;
}

QPointF At(const boxf& Box, pointf P) { return QPointF(P.x, Box.UR.y - P.y); }

void TakeEdges(TGraphView::TLaidGraph& Out, Agraph_t* Laid, Agnode_t* N, int From,
               const QHash<QByteArray, int>& NodeOf) {
  const boxf Box = GD_bb(Laid);
  for (Agedge_t* E = agfstout(Laid, N); E; E = agnxtout(Laid, E)) {
    const splines* S = ED_spl(E);
    if (!S) continue;
    TLaidEdge Edge{From, NodeOf.value(QByteArray(agnameof(aghead(E))), -1), {}};
    for (int K = 0; K < S->size; ++K) {
      const bezier& B = S->list[K];
      if (B.size < 1) continue;
      TLaidStroke St;
      St.Curve = QPainterPath(At(Box, B.list[0]));
      for (int J = 1; J + 2 < B.size; J += 3)
        St.Curve.cubicTo(At(Box, B.list[J]), At(Box, B.list[J + 1]), At(Box, B.list[J + 2]));
      St.EndHead = B.eflag;
      St.EndFrom = At(Box, B.list[B.size - 1]);
      St.EndTip = At(Box, B.ep);
      St.StartHead = B.sflag;
      St.StartFrom = At(Box, B.list[0]);
      St.StartTip = At(Box, B.sp);
      Edge.Strokes.push_back(std::move(St));
    }
    Out.Edges.push_back(std::move(Edge));
  }
}

// Lays Dot out and takes where everything went (thread-safe: one at a time).
void LayOut(TGraphView::TLaidGraph& Out, const std::string& Dot) {
  std::lock_guard<std::mutex> Lock(LayoutMutex());
  TLayout L;
  if (!L.Run(Dot, Out.Error)) return;
  QHash<QByteArray, int> NodeOf;
  for (size_t I = 0; I < Out.Graph->Nodes.size(); ++I)
    NodeOf.insert(QByteArray::fromStdString(Out.Graph->Nodes[I].Name), int(I));
  const boxf Box = GD_bb(L.Graph);
  for (Agnode_t* N = agfstnode(L.Graph); N; N = agnxtnode(L.Graph, N)) {
    const int Index = NodeOf.value(QByteArray(agnameof(N)), -1);
    if (Index < 0) continue;
    Out.Nodes.push_back({Index, At(Box, ND_coord(N)), ND_width(N) * PointsPerInch, ND_height(N) * PointsPerInch});
    TakeEdges(Out, L.Graph, N, Index, NodeOf);
  }
}

// A unit: a rounded box with its name, red for a unit of the set with a
// finding, dashed grey for one outside the set; box and name carry the node
// index.
void DrawNode(QGraphicsScene& Scene, const TUsesGraph& G, const TLaidNode& L, const QFont& Font) {
  const TGraphNode& Node = G.Nodes[size_t(L.Index)];
  QPainterPath Box;
  Box.addRoundedRect(QRectF(L.Centre.x() - L.W / 2, L.Centre.y() - L.H / 2, L.W, L.H), 5, 5);
  auto* Item = Scene.addPath(Box);
  QPen Pen(Node.Finding && Node.InSet ? FindingColor : Node.InSet ? QColor(40, 40, 40) : OutsideColor,
           Node.Finding && Node.InSet ? 2.0 : 1.0);
  if (!Node.InSet) Pen.setStyle(Qt::DashLine);
  Item->setPen(Pen);
  Item->setBrush(!Node.InSet ? QColor(250, 250, 250) : Node.Finding ? QColor(253, 232, 232) : QColor(236, 243, 251));
  Item->setData(0, L.Index);
  Item->setToolTip(QString::fromStdString(Node.Name));
  Item->setCursor(Node.InSet ? Qt::PointingHandCursor : Qt::ArrowCursor);
  auto* Text = new QGraphicsSimpleTextItem(QString::fromStdString(Node.Name), Item);
  Text->setFont(Font);
  Text->setBrush(Node.Finding && Node.InSet ? FindingColor : Node.InSet ? QColor(0, 0, 0) : OutsideColor);
  Text->setPos(L.Centre - Text->boundingRect().center());
  Text->setData(0, L.Index);
}

// A use: interface uses solid, implementation uses dashed, a use that does
// not match its interface red; the arrow heads where the layout asks for them.
void DrawEdge(QGraphicsScene& Scene, const TLaidEdge& L, const QHash<QPair<int, int>, const TGraphEdge*>& EdgeOf) {
  const TGraphEdge* Edge = EdgeOf.value({L.From, L.To}, nullptr);
  QPen EPen(Edge && Edge->Mismatch ? FindingColor : EdgeColor, Edge && Edge->Mismatch ? 2.0 : 1.0);
  if (Edge && !Edge->Interface) EPen.setStyle(Qt::DashLine);
  const QPen HeadPen(EPen.color(), 1.0);
  for (const TLaidStroke& S : L.Strokes) {
    Scene.addPath(S.Curve, EPen)->setZValue(-1);
    if (S.EndHead) Scene.addPath(Arrow(S.EndFrom, S.EndTip), HeadPen, EPen.color())->setZValue(-1);
    if (S.StartHead) Scene.addPath(Arrow(S.StartFrom, S.StartTip), HeadPen, EPen.color())->setZValue(-1);
  }
}

// Draws the laid-out graph into Scene; the number of units drawn.
int DrawLayout(QGraphicsScene& Scene, const TGraphView::TLaidGraph& L) {
  QFont Font(QStringLiteral("Helvetica"));
  Font.setPixelSize(10);
  QHash<QPair<int, int>, const TGraphEdge*> EdgeOf;
  for (const TGraphEdge& E : L.Graph->Edges) EdgeOf.insert({int(E.From), int(E.To)}, &E);
  for (const TLaidNode& N : L.Nodes) DrawNode(Scene, *L.Graph, N, Font);
  for (const TLaidEdge& E : L.Edges) DrawEdge(Scene, E, EdgeOf);
  return int(L.Nodes.size());
}

}  // namespace

TGraphView::TGraphView(QWidget* Parent) : QGraphicsView(Parent) {
  setScene(new QGraphicsScene(this));
  setDragMode(QGraphicsView::ScrollHandDrag);
  setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
  setTransformationAnchor(QGraphicsView::AnchorUnderMouse);
  setBackgroundBrush(Qt::white);
  setFocusPolicy(Qt::StrongFocus);
}

TGraphView::~TGraphView() {
  // A layout under way uses only what its job holds; it is waited for, so
  // that no thread outlives the view.
  for (TWorker& W : FWorkers) W.Thread.join();
}

bool TGraphView::SetGraph(const TUsesGraph& G, bool HideRuntime) {
  TDotOptions O;
  O.HideRuntime = HideRuntime;
  return SetGraph(G, O);
}

bool TGraphView::SetGraph(const TUsesGraph& G, const TDotOptions& Options) {
  ++FJob;  // a layout under way is not shown
  FLaying = false;
  TLaidGraph L;
  L.Graph = std::make_shared<const TUsesGraph>(G);
  LayOut(L, UsesGraphDot(G, Options));
  return Show(L);
}

void TGraphView::StartLayout(const TUsesGraph& G, const TDotOptions& Options) {
  const int Job = ++FJob;
  FLaying = true;
  auto L = std::make_shared<TLaidGraph>();
  L->Graph = std::make_shared<const TUsesGraph>(G);
  const std::string Dot = UsesGraphDot(G, Options);
  // The threads of layouts done are let go of here.
  std::erase_if(FWorkers, [](TWorker& W) {
    if (!W.Done->load()) return false;
    W.Thread.join();
    return true;
  });
  auto Done = std::make_shared<std::atomic<bool>>(false);
  TGraphView* Self = this;  // outlives the thread: the view waits for it before it goes
  std::thread T([L, Dot, Self, Job, Done] {
    LayOut(*L, Dot);
    // Shown on the window's thread; Qt drops the call if the view goes first.
    QMetaObject::invokeMethod(Self, [L, Self, Job] { Self->LayoutDone(Job, *L); }, Qt::QueuedConnection);
    Done->store(true);
  });
  FWorkers.push_back({std::move(T), std::move(Done)});
}

void TGraphView::CancelLayout() {
  if (!FLaying) return;
  ++FJob;
  FLaying = false;
  emit layoutFinished(false);
}

void TGraphView::LayoutDone(int Job, const TLaidGraph& L) {
  if (Job != FJob) return;  // cancelled, or another one asked for since
  FLaying = false;
  emit layoutFinished(Show(L));
}

bool TGraphView::Show(const TLaidGraph& L) {
  scene()->clear();
  FNodeItems = 0;
  FError = L.Error;
  resetTransform();
  if (!FError.isEmpty()) {
    scene()->addText(FError);
    return false;
  }
  FNodeItems = DrawLayout(*scene(), L);
  FitToView();
  return true;
}

// A new graph starts fitted into the view (a small one at its own size).
void TGraphView::FitToView() {
  scene()->setSceneRect(scene()->itemsBoundingRect().adjusted(-10, -10, 10, 10));
  const QRectF R = scene()->sceneRect();
  const double Fit = std::min(viewport()->width() / std::max(1.0, R.width()),
                              viewport()->height() / std::max(1.0, R.height()));
  if (Fit < 1.0) ZoomBy(Fit);
  centerOn(R.center());
}

int TGraphView::NodeAt(const QPointF& ScenePos) const {
  for (QGraphicsItem* I : scene()->items(ScenePos)) {
    const QVariant V = I->data(0);
    if (V.isValid()) return V.toInt();
  }
  return -1;
}

void TGraphView::ZoomBy(double Factor) {
  const double Now = transform().m11();
  const double To = std::clamp(Now * Factor, 0.01, 8.0);
  scale(To / Now, To / Now);
}

void TGraphView::wheelEvent(QWheelEvent* Event) {
  const int Delta = Event->angleDelta().y();
  if (Delta == 0) return QGraphicsView::wheelEvent(Event);
  ZoomBy(std::pow(1.0015, Delta));
  Event->accept();
}

void TGraphView::keyPressEvent(QKeyEvent* Event) {
  if (Event->modifiers() & Qt::ControlModifier) {
    switch (Event->key()) {
      case Qt::Key_Plus:
      case Qt::Key_Equal: ZoomBy(1.25); return;
      case Qt::Key_Minus: ZoomBy(0.8); return;
      case Qt::Key_0:
        fitInView(scene()->sceneRect(), Qt::KeepAspectRatio);
        return;
      default: break;
    }
  }
  QGraphicsView::keyPressEvent(Event);
}

void TGraphView::mousePressEvent(QMouseEvent* Event) {
  FPressPos = Event->position().toPoint();
  QGraphicsView::mousePressEvent(Event);
}

void TGraphView::mouseReleaseEvent(QMouseEvent* Event) {
  QGraphicsView::mouseReleaseEvent(Event);
  if (Event->button() != Qt::LeftButton) return;
  if ((Event->position().toPoint() - FPressPos).manhattanLength() > 4) return;  // a drag
  const int Node = NodeAt(mapToScene(Event->position().toPoint()));
  if (Node >= 0) emit nodeClicked(Node);
}
