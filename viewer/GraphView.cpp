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

  const std::string Dot = UsesGraphDot(G, {HideRuntime});
  TLayout L;
  L.Graph = agmemread(Dot.c_str());
  if (!L.Graph) {
    FError = tr("The uses graph could not be read by Graphviz.");
  } else if (gvLayout(L.Context, L.Graph, "dot") != 0) {
    FError = tr("Graphviz could not lay out the uses graph.");
  }
  if (!FError.isEmpty()) {
    scene()->addText(FError);
    return false;
  }
  L.Laid = true;

  QHash<QByteArray, int> NodeOf;
  for (size_t I = 0; I < G.Nodes.size(); ++I) NodeOf.insert(QByteArray::fromStdString(G.Nodes[I].Name), int(I));
  QHash<QPair<int, int>, const TGraphEdge*> EdgeOf;
  for (const TGraphEdge& E : G.Edges) EdgeOf.insert({int(E.From), int(E.To)}, &E);

  const boxf BB = GD_bb(L.Graph);
  auto At = [&](pointf P) { return QPointF(P.x, BB.UR.y - P.y); };  // Graphviz counts y upwards
  QFont Font(QStringLiteral("Helvetica"));
  Font.setPixelSize(10);

  for (Agnode_t* N = agfstnode(L.Graph); N; N = agnxtnode(L.Graph, N)) {
    const int Index = NodeOf.value(QByteArray(agnameof(N)), -1);
    if (Index < 0) continue;
    const TGraphNode& Node = G.Nodes[size_t(Index)];
    const double W = ND_width(N) * PointsPerInch, H = ND_height(N) * PointsPerInch;
    const QPointF C = At(ND_coord(N));
    QPainterPath Box;
    Box.addRoundedRect(QRectF(C.x() - W / 2, C.y() - H / 2, W, H), 5, 5);
    auto* Item = scene()->addPath(Box);
    QPen Pen(Node.Finding && Node.InSet ? FindingColor : Node.InSet ? QColor(40, 40, 40) : OutsideColor,
             Node.Finding && Node.InSet ? 2.0 : 1.0);
    if (!Node.InSet) Pen.setStyle(Qt::DashLine);
    Item->setPen(Pen);
    Item->setBrush(!Node.InSet ? QColor(250, 250, 250) : Node.Finding ? QColor(253, 232, 232) : QColor(236, 243, 251));
    Item->setData(0, Index);
    Item->setToolTip(QString::fromStdString(Node.Name));
    Item->setCursor(Node.InSet ? Qt::PointingHandCursor : Qt::ArrowCursor);
    auto* Text = new QGraphicsSimpleTextItem(QString::fromStdString(Node.Name), Item);
    Text->setFont(Font);
    Text->setBrush(Node.Finding && Node.InSet ? FindingColor : Node.InSet ? QColor(0, 0, 0) : OutsideColor);
    Text->setPos(C - Text->boundingRect().center());
    Text->setData(0, Index);
    ++FNodeItems;

    for (Agedge_t* E = agfstout(L.Graph, N); E; E = agnxtout(L.Graph, E)) {
      const splines* S = ED_spl(E);
      if (!S) continue;
      const int To = NodeOf.value(QByteArray(agnameof(aghead(E))), -1);
      const TGraphEdge* Edge = EdgeOf.value({Index, To}, nullptr);
      QPen EPen(Edge && Edge->Mismatch ? FindingColor : EdgeColor, Edge && Edge->Mismatch ? 2.0 : 1.0);
      if (Edge && !Edge->Interface) EPen.setStyle(Qt::DashLine);
      for (int K = 0; K < S->size; ++K) {
        const bezier& B = S->list[K];
        if (B.size < 1) continue;
        QPainterPath P(At(B.list[0]));
        for (int J = 1; J + 2 < B.size; J += 3) P.cubicTo(At(B.list[J]), At(B.list[J + 1]), At(B.list[J + 2]));
        scene()->addPath(P, EPen)->setZValue(-1);
        QPen HeadPen(EPen.color(), 1.0);
        if (B.eflag)
          scene()->addPath(Arrow(At(B.list[B.size - 1]), At(B.ep)), HeadPen, EPen.color())->setZValue(-1);
        if (B.sflag) scene()->addPath(Arrow(At(B.list[0]), At(B.sp)), HeadPen, EPen.color())->setZValue(-1);
      }
    }
  }
  scene()->setSceneRect(scene()->itemsBoundingRect().adjusted(-10, -10, 10, 10));
  // Large graphs start fitted into the view, small ones at their own size.
  const QRectF R = scene()->sceneRect();
  const double Fit = std::min(viewport()->width() / std::max(1.0, R.width()),
                              viewport()->height() / std::max(1.0, R.height()));
  if (Fit < 1.0) ZoomBy(std::max(Fit, 0.7));
  centerOn(R.center().x(), R.top());
  return true;
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
