// The comparison tab (see CompareTab.h).
#include "CompareTab.h"

#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <sstream>

#include "BusyCursor.h"
#include "Jx_PanelGradient.h"
#include "UnitDiff.h"
#include "UnitDiffWriters.h"

TCompareTab::TCompareTab(const QString& PathA, const QString& PathB, std::shared_ptr<TUsedUnits> Library,
                         QWidget* Parent)
    : QWidget(Parent), FPathA(PathA), FPathB(PathB), FLibrary(std::move(Library)) {
  setObjectName(QStringLiteral("CompareTab"));
  // The window's tab captions are bold; the tab's own text is not.
  QFont Plain = font();
  Plain.setBold(false);
  setFont(Plain);
  auto* Layout = new QVBoxLayout(this);
  Layout->setContentsMargins(4, 4, 4, 4);
  Layout->setSpacing(4);
  Header = NewPathHeader(this, PathA + QStringLiteral("  \u2194  ") + PathB, palette().color(QPalette::Window));
  Layout->addWidget(Header);
  auto* Row = new QHBoxLayout;
  Verdict = new QLabel(this);
  Verdict->setObjectName(QStringLiteral("CompareVerdict"));
  RefreshButton = new QPushButton(tr("Compare Again"), this);
  RefreshButton->setToolTip(tr("Read both files again and compare them"));
  Row->addWidget(Verdict, 1);
  Row->addWidget(RefreshButton);
  Layout->addLayout(Row);
  View = new QPlainTextEdit(this);
  View->setObjectName(QStringLiteral("CompareText"));
  View->setReadOnly(true);
  View->setLineWrapMode(QPlainTextEdit::NoWrap);
  QFont Fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  Fixed.setBold(false);
  View->setFont(Fixed);
  Layout->addWidget(View, 1);
  connect(RefreshButton, &QPushButton::clicked, this, &TCompareTab::Refresh);
  Refresh();
}

void TCompareTab::Refresh() {
  TBusyCursor Busy;
  const TUnitDiff D = CompareUnitFiles(QFile::encodeName(FPathA).toStdString(), QFile::encodeName(FPathB).toStdString(),
                                       FLibrary.get());
  std::ostringstream Out;
  WriteUnitDiffText(D, Out);
  FSame = D.Same();
  View->setPlainText(QString::fromStdString(Out.str()));
  if (!D.Loaded()) Verdict->setText(tr("A unit did not load."));
  else if (D.Same()) Verdict->setText(tr("No difference."));
  else
    Verdict->setText(tr("%1 facts, %2 declarations and %3 routines differ.")
                         .arg(D.Facts.size())
                         .arg(D.Decls.size())
                         .arg(D.Code.size()));
}

QString TCompareTab::Text() const { return View->toPlainText(); }

QString TCompareTab::Caption(const QString& PathA, const QString& PathB) {
  return QFileInfo(PathA).fileName() + QStringLiteral(" \u2194 ") + QFileInfo(PathB).fileName();
}
