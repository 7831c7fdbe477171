// A comparison tab: two builds of a unit compared (UnitDiff.h), shown as the
// text the command line's --diff writes, read-only, in the fixed font. The
// tab compares when it is made and when Refresh is called (the files may
// have changed); the window adds and closes it as any other tab.
#pragma once

#include <QString>
#include <QWidget>
#include <memory>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class TJx_PanelGradient;
class TUsedUnits;

class TCompareTab : public QWidget {
  Q_OBJECT
 public:
  // Compares PathA with PathB at once; Library, when given, has the units
  // they use (their values are read with them).
  TCompareTab(const QString& PathA, const QString& PathB, std::shared_ptr<TUsedUnits> Library,
              QWidget* Parent = nullptr);

  const QString& PathA() const { return FPathA; }
  const QString& PathB() const { return FPathB; }
  // Compares the two files again.
  void Refresh();
  // The comparison as shown.
  QString Text() const;
  // Both loaded and nothing differs.
  bool Same() const { return FSame; }

  // The tab's caption for the pair: "A.dcu \u2194 B.dcu".
  static QString Caption(const QString& PathA, const QString& PathB);

  TJx_PanelGradient* Header = nullptr;
  QLabel* Verdict = nullptr;
  QPushButton* RefreshButton = nullptr;
  QPlainTextEdit* View = nullptr;

 private:
  QString FPathA, FPathB;
  std::shared_ptr<TUsedUnits> FLibrary;
  bool FSame = false;
};
