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
#include <memory>

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

// Where the layout put things, in scene coordinates (Graphviz counts y
// upwards), and the graph's nodes and edges by what the layout names.
struct TDrawing {
  QGraphicsScene& Scene;
  const TUsesGraph& Graph;
  boxf Box;
  QHash<QByteArray, int> NodeOf;
  QHash<QPair<int, int>, const TGraphEdge*> EdgeOf;
  QFont Font;

  TDrawing(QGraphicsScene& Scene, const TUsesGraph& G, Agraph_t* Laid)
      : Scene(Scene), Graph(G), Box(GD_bb(Laid)), Font(QStringLiteral("Helvetica")) {
    for (size_t I = 0; I < G.Nodes.size(); ++I) NodeOf.insert(QByteArray::fromStdString(G.Nodes[I].Name), int(I));
    for (const TGraphEdge& E : G.Edges) EdgeOf.insert({int(E.From), int(E.To)}, &E);
    Font.setPixelSize(10);
  }
  QPointF At(pointf P) const { return QPointF(P.x, Box.UR.y - P.y); }
  int IndexOf(Agnode_t* N) const { return NodeOf.value(QByteArray(agnameof(N)), -1); }
};

// A unit: a rounded box with its name, red for a unit of the set with a
// finding, dashed grey for one outside the set; box and name carry the node
// index.
void DrawNode(const TDrawing& D, Agnode_t* N, int Index) {
  const TGraphNode& Node = D.Graph.Nodes[size_t(Index)];
  const double W = ND_width(N) * PointsPerInch, H = ND_height(N) * PointsPerInch;
  const QPointF C = D.At(ND_coord(N));
  QPainterPath Box;
  Box.addRoundedRect(QRectF(C.x() - W / 2, C.y() - H / 2, W, H), 5, 5);
  auto* Item = D.Scene.addPath(Box);
  QPen Pen(Node.Finding && Node.InSet ? FindingColor : Node.InSet ? QColor(40, 40, 40) : OutsideColor,
           Node.Finding && Node.InSet ? 2.0 : 1.0);
  if (!Node.InSet) Pen.setStyle(Qt::DashLine);
  Item->setPen(Pen);
  Item->setBrush(!Node.InSet ? QColor(250, 250, 250) : Node.Finding ? QColor(253, 232, 232) : QColor(236, 243, 251));
  Item->setData(0, Index);
  Item->setToolTip(QString::fromStdString(Node.Name));
  Item->setCursor(Node.InSet ? Qt::PointingHandCursor : Qt::ArrowCursor);
  auto* Text = new QGraphicsSimpleTextItem(QString::fromStdString(Node.Name), Item);
  Text->setFont(D.Font);
  Text->setBrush(Node.Finding && Node.InSet ? FindingColor : Node.InSet ? QColor(0, 0, 0) : OutsideColor);
  Text->setPos(C - Text->boundingRect().center());
  Text->setData(0, Index);
}

// The uses that start at unit N (node index From): interface uses solid,
// implementation uses dashed, a use that does not match its interface red;
// the arrow heads where the layout asks for them.
void DrawEdgesFrom(const TDrawing& D, Agraph_t* Laid, Agnode_t* N, int From) {
  for (Agedge_t* E = agfstout(Laid, N); E; E = agnxtout(Laid, E)) {
    const splines* S = ED_spl(E);
    if (!S) continue;
    const TGraphEdge* Edge = D.EdgeOf.value({From, D.IndexOf(aghead(E))}, nullptr);
    QPen EPen(Edge && Edge->Mismatch ? FindingColor : EdgeColor, Edge && Edge->Mismatch ? 2.0 : 1.0);
    if (Edge && !Edge->Interface) EPen.setStyle(Qt::DashLine);
    const QPen HeadPen(EPen.color(), 1.0);
    for (int K = 0; K < S->size; ++K) {
      const bezier& B = S->list[K];
      if (B.size < 1) continue;
      QPainterPath P(D.At(B.list[0]));
      for (int J = 1; J + 2 < B.size; J += 3) P.cubicTo(D.At(B.list[J]), D.At(B.list[J + 1]), D.At(B.list[J + 2]));
      D.Scene.addPath(P, EPen)->setZValue(-1);
      if (B.eflag)
        D.Scene.addPath(Arrow(D.At(B.list[B.size - 1]), D.At(B.ep)), HeadPen, EPen.color())->setZValue(-1);
      if (B.sflag) D.Scene.addPath(Arrow(D.At(B.list[0]), D.At(B.sp)), HeadPen, EPen.color())->setZValue(-1);
    }
  }
}

// Draws the laid-out graph into Scene; the number of units drawn.
int DrawLayout(QGraphicsScene& Scene, const TUsesGraph& G, Agraph_t* Laid) {
  const TDrawing D(Scene, G, Laid);
  int Drawn = 0;
  for (Agnode_t* N = agfstnode(Laid); N; N = agnxtnode(Laid, N)) {
    const int Index = D.IndexOf(N);
    if (Index < 0) continue;
    DrawNode(D, N, Index);
    ++Drawn;
    DrawEdgesFrom(D, Laid, N, Index);
  }
  return Drawn;
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

bool TGraphView::SetGraph(const TUsesGraph& G, bool HideRuntime) {
  scene()->clear();
  FNodeItems = 0;
  FError.clear();
  resetTransform();

  TLayout L;
  if (!L.Run(UsesGraphDot(G, {HideRuntime}), FError)) {
    scene()->addText(FError);
    return false;
  }
  FNodeItems = DrawLayout(*scene(), G, L.Graph);
  FitLargeGraph();
  return true;
}

// Large graphs start fitted into the view, small ones at their own size.
void TGraphView::FitLargeGraph() {
  scene()->setSceneRect(scene()->itemsBoundingRect().adjusted(-10, -10, 10, 10));
  const QRectF R = scene()->sceneRect();
  const double Fit = std::min(viewport()->width() / std::max(1.0, R.width()),
                              viewport()->height() / std::max(1.0, R.height()));
  if (Fit < 1.0) ZoomBy(std::max(Fit, 0.7));
  centerOn(R.center().x(), R.top());
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
  const double To = std::clamp(Now * Factor, 0.05, 8.0);
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
