// The gradient caption strip and the path header of the tabs (see Jx_PanelGradient.h).
#include "Jx_PanelGradient.h"

#include <QFontMetrics>
#include <QLinearGradient>
#include <QPainter>

QString ElidePath(const QString& Path, const QFontMetrics& Metrics, int Width) {
  if (Metrics.horizontalAdvance(Path) <= Width) return Path;
  const QString Dots = QStringLiteral("...");
  // The file name starts after the last separator of either kind.
  qsizetype Sep = std::max(Path.lastIndexOf(QLatin1Char('/')), Path.lastIndexOf(QLatin1Char('\\')));
  if (Sep < 0) return Metrics.elidedText(Path, Qt::ElideMiddle, Width);
  const QString Tail = Path.mid(Sep);  // separator and file name
  const QString Dir = Path.left(Sep);
  // Longest start of the directory part that fits with "..." and the tail.
  qsizetype Lo = 0, Hi = Dir.size();
  while (Lo < Hi) {
    qsizetype Mid = (Lo + Hi + 1) / 2;
    if (Metrics.horizontalAdvance(Dir.left(Mid) + Dots + Tail) <= Width)
      Lo = Mid;
    else
      Hi = Mid - 1;
  }
  QString Result = Dir.left(Lo) + Dots + Tail;
  if (Lo == 0 && Metrics.horizontalAdvance(Result) > Width)
    Result = Dots + Metrics.elidedText(Tail, Qt::ElideRight, std::max(0, Width - Metrics.horizontalAdvance(Dots)));
  return Result;
}

TJx_PanelGradient::TJx_PanelGradient(QWidget* Parent) : QWidget(Parent) {
  FFrom = FTo = palette().color(QPalette::Window);
}

void TJx_PanelGradient::SetCaption(const QString& Caption) {
  FCaption = Caption;
  setToolTip(Caption);
  update();
}

void TJx_PanelGradient::SetColors(const QColor& From, const QColor& To) {
  FFrom = From;
  FTo = To;
  update();
}

void TJx_PanelGradient::SetTextMargin(int Margin) {
  FTextMargin = Margin;
  update();
}

void TJx_PanelGradient::SetBottomRule(bool On) {
  FBottomRule = On;
  update();
}

QString TJx_PanelGradient::ShownCaption() const {
  return ElidePath(FCaption, fontMetrics(), std::max(0, width() - 2 * FTextMargin));
}

QSize TJx_PanelGradient::sizeHint() const {
  return QSize(fontMetrics().horizontalAdvance(FCaption) + 2 * FTextMargin,
               fontMetrics().height() + 8);
}

void TJx_PanelGradient::paintEvent(QPaintEvent*) {
  QPainter P(this);
  if (FFrom == FTo) {
    P.fillRect(rect(), FFrom);
  } else {
    QLinearGradient G(rect().topLeft(), rect().topRight());
    G.setColorAt(0, FFrom);
    G.setColorAt(1, FTo);
    P.fillRect(rect(), G);
  }
  int RuleHeight = FBottomRule ? 1 : 0;
  QRect TextRect = rect().adjusted(FTextMargin, 0, -FTextMargin, -RuleHeight);
  P.setPen(palette().color(QPalette::WindowText));
  // One line, no mnemonic processing: the text is drawn as it stands.
  P.drawText(TextRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, ShownCaption());
  if (FBottomRule) P.fillRect(QRect(0, height() - 1, width(), 1), Qt::black);
}

TJx_PanelGradient* NewPathHeader(QWidget* Parent, const QString& Path, const QColor& Back) {
  auto* Header = new TJx_PanelGradient(Parent);
  Header->setObjectName(QStringLiteral("Header"));
  Header->SetColors(Back, Back);
  Header->SetTextMargin(8);
  Header->SetBottomRule(true);
  Header->SetCaption(Path);
  Header->setFixedHeight(QFontMetrics(Header->font()).boundingRect(QString::fromUtf8("Ãg")).height() + 8);
  return Header;
}
