// The Find page of a folder tab (see FolderFind.h).
#include "FolderFind.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "UnitSummary.h"

namespace {
QString Utf8(std::string_view S) { return QString::fromUtf8(S.data(), static_cast<qsizetype>(S.size())); }
QString PathText(const std::string& Bytes) { return QFile::decodeName(QByteArray::fromStdString(Bytes)); }
QString Hex(int64_t Offset) { return QStringLiteral("0x") + QString::number(Offset, 16).toUpper(); }
const QColor PendingColor(128, 128, 128);
// The pause after the last key before the pattern is looked up.
constexpr int TypingMs = 200;
// "1 unit", "2 units".
QString Count(size_t N, const QString& One, const QString& Many) {
  return QStringLiteral("%1 %2").arg(N).arg(N == 1 ? One : Many);
}
}  // namespace

TFolderFindPage::TFolderFindPage(const QString& Folder, QWidget* Parent) : QWidget(Parent), FFolder(Folder) {
  setObjectName(QStringLiteral("FindPage"));
  auto* Layout = new QVBoxLayout(this);
  Layout->setContentsMargins(0, 4, 0, 0);
  Layout->setSpacing(4);
  auto* Row = new QHBoxLayout;
  FindBox = new QLineEdit(this);
  FindBox->setObjectName(QStringLiteral("FindBox"));
  FindBox->setPlaceholderText(tr("Find a declaration or a unit: TFoo, T*Form, TFoo.Create, *.Free (Ctrl+Shift+F)"));
  FindBox->setClearButtonEnabled(true);
  Status = new QLabel(this);
  Status->setObjectName(QStringLiteral("FindStatus"));
  Status->setTextInteractionFlags(Qt::TextSelectableByMouse);
  Row->addWidget(FindBox, 3);
  Row->addWidget(Status, 2);
  Layout->addLayout(Row);

  Results = new QTreeWidget(this);
  Results->setObjectName(QStringLiteral("FindResults"));
  Results->setColumnCount(4);
  Results->setHeaderLabels({tr("Unit"), tr("Section"), tr("Kind"), tr("Declaration")});
  Results->setRootIsDecorated(true);
  Results->setUniformRowHeights(true);
  Results->setAllColumnsShowFocus(true);
  Results->header()->setStretchLastSection(true);
  // The widths of the columns follow the first rows rather than all of them:
  // measuring thousands of rows takes longer than the find.
  Results->header()->setResizeContentsPrecision(200);
  Layout->addWidget(Results, 1);

  FTyping = new QTimer(this);
  FTyping->setSingleShot(true);
  FTyping->setInterval(TypingMs);
  connect(FTyping, &QTimer::timeout, this, &TFolderFindPage::Rerun);
  connect(FindBox, &QLineEdit::textEdited, FTyping, qOverload<>(&QTimer::start));
  connect(FindBox, &QLineEdit::returnPressed, this, &TFolderFindPage::Rerun);
  connect(Results, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* Item) { Activate(Item); });
  // A key down from the box goes to the rows.
  connect(FindBox, &QLineEdit::returnPressed, Results, [this] {
    if (Results->topLevelItemCount() > 0 && !Results->currentItem()) Results->setCurrentItem(Results->topLevelItem(0));
  });
}

TFolderFindPage::~TFolderFindPage() = default;

void TFolderFindPage::SetIndex(const TFindIndex* Index) { FIndex = Index; }

void TFolderFindPage::Rerun() { Find(FindBox->text()); }

QString TFolderFindPage::Shown(const std::string& Path) const {
  return QDir(FFolder).relativeFilePath(PathText(Path));
}

void TFolderFindPage::Find(const QString& Pattern) {
  if (FindBox->text() != Pattern) FindBox->setText(Pattern);
  FTyping->stop();
  Results->clear();
  FGroups.clear();
  FGroupRows.clear();
  FNextGroup = 0;
  const QString Given = Pattern.trimmed();
  if (Given.isEmpty()) {
    Status->clear();
    return;
  }
  if (!FIndex) {
    Status->setText(tr("The folder has not been read yet."));
    return;
  }
  QElapsedTimer Clock;
  Clock.start();
  TFindResult R = FIndex->Find(TFindPattern(Given.toStdString()), MaxHits);
  const qint64 Ms = Clock.elapsed();
  // The rows are made apart from the tree and put in at once: a row in the
  // tree tells the view of every change made to it.
  QList<QTreeWidgetItem*> Rows;
  AddUnitRows(R.Units, Rows);
  AddHitRows(R.Hits, Rows);
  Results->addTopLevelItems(Rows);
  // Open when there are few to show.
  if (Rows.size() <= 5)
    for (QTreeWidgetItem* Row : Rows) Row->setExpanded(true);
  for (int C : {ColUnit, ColSection, ColKind}) Results->resizeColumnToContents(C);

  QStringList Parts;
  if (R.TotalHits > 0) {
    Parts << Count(R.TotalHits, tr("declaration"), tr("declarations"));
    if (R.TotalHits > R.Hits.size()) Parts.last() += tr(" (the first %1 shown)").arg(R.Hits.size());
  }
  if (!R.Units.empty()) Parts << Count(R.Units.size(), tr("unit name"), tr("unit names"));
  Status->setText(R.Found() ? tr("%1 in %2 ms").arg(Parts.join(QStringLiteral(", "))).arg(Ms)
                            : tr("Nothing named %1").arg(Given));
  if (!FGroups.empty()) QTimer::singleShot(0, this, &TFolderFindPage::FillLines);
}

// A row under Parent for each unit that uses what Parent stands for.
void TFolderFindPage::AddUserRows(QTreeWidgetItem* Parent, const std::vector<TFindUser>& Users) {
  for (const TFindUser& User : Users) {
    auto* Row = new QTreeWidgetItem(Parent);
    Row->setText(ColUnit, Utf8(User.UnitName) + LibraryMark(User.Unit));
    Row->setText(ColSection, User.Interface ? tr("interface") : tr("implementation"));
    Row->setText(ColKind, tr("uses"));
    Row->setText(ColDeclaration, Shown(User.Path));
    Row->setToolTip(ColDeclaration, PathText(User.Path));
    Row->setData(0, Qt::UserRole, PathText(User.Path));
    Row->setData(0, OffsetRole, qlonglong(-1));
  }
}

// A unit name: the file of that name in the folder, and a row per unit that
// uses it, saying where.
void TFolderFindPage::AddUnitRows(const std::vector<TFindUnitUsers>& Units, QList<QTreeWidgetItem*>& Rows) {
  for (const TFindUnitUsers& U : Units) {
    auto* Item = new QTreeWidgetItem;
    Rows << Item;
    Item->setText(ColUnit, Utf8(U.Name));
    Item->setText(ColKind, tr("unit"));
    const QString Users = tr("used by %1").arg(Count(U.Users.size(), tr("unit"), tr("units")));
    if (U.Files.empty()) {
      Item->setText(ColDeclaration, tr("not in the folder; %1").arg(Users));
    } else {
      // A name in several files (a finding of its own) says so; the first
      // file is the one opened.
      const std::string& File = FIndex->Path(U.Files.front());
      QString Files = Shown(File);
      QStringList All;
      if (FIndex->Library(U.Files.front())) Files += tr(" (library)");
      for (uint32_t F : U.Files) All << PathText(FIndex->Path(F)) + LibraryMark(F);
      if (U.Files.size() > 1) Files += tr(" and %1 more").arg(U.Files.size() - 1);
      Item->setText(ColDeclaration, tr("%1; %2").arg(Files, Users));
      Item->setData(0, Qt::UserRole, PathText(File));
      Item->setToolTip(ColDeclaration, All.join(QLatin1Char('\n')));
    }
    Item->setData(0, OffsetRole, qlonglong(-1));
    AddUserRows(Item, U.Users);
  }
}

// A row per declaration, its name standing in for its line until that is
// read, with the units that import it from its unit under it.
void TFolderFindPage::AddHitRows(std::vector<TFindHit>& Hits, QList<QTreeWidgetItem*>& AllRows) {
  QFont Fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  Fixed.setBold(false);
  for (size_t First = 0; First < Hits.size();) {
    size_t End = First + 1;
    while (End < Hits.size() && Hits[End].Unit == Hits[First].Unit) ++End;
    std::vector<QTreeWidgetItem*> Rows;
    for (size_t I = First; I < End; ++I) {
      const TFindHit& H = Hits[I];
      auto* Item = new QTreeWidgetItem;
      AllRows << Item;
      Item->setText(ColUnit, Utf8(H.UnitName) + LibraryMark(H.Unit));
      Item->setText(ColSection, Utf8(FindSectionName(H.Section)));
      Item->setText(ColKind, Utf8(FindKindName(H.Kind)));
      Item->setText(ColDeclaration, Utf8(H.Name));
      Item->setForeground(ColDeclaration, PendingColor);
      Item->setFont(ColDeclaration, Fixed);
      Item->setData(0, Qt::UserRole, PathText(H.Path));
      Item->setData(0, OffsetRole, qlonglong(H.Offset));
      Item->setToolTip(ColUnit, tr("%1, declaration at %2").arg(PathText(H.Path), Hex(H.Offset)));
      AddUserRows(Item, FIndex->UsersOf(H));
      Rows.push_back(Item);
    }
    FGroups.emplace_back(std::make_move_iterator(Hits.begin() + long(First)),
                         std::make_move_iterator(Hits.begin() + long(End)));
    FGroupRows.push_back(std::move(Rows));
    First = End;
  }
}

// The lines of the rows, one unit read at a time until the slice is used up.
void TFolderFindPage::FillLines() {
  QElapsedTimer Clock;
  Clock.start();
  while (FNextGroup < FGroups.size()) {
    std::vector<TFindHit>& Group = FGroups[FNextGroup];
    const std::vector<QTreeWidgetItem*>& Rows = FGroupRows[FNextGroup];
    std::string Error;
    const bool Loaded = FillFindLines(Group, &Error);
    for (size_t I = 0; I < Group.size(); ++I) {
      QTreeWidgetItem* Item = Rows[I];
      Item->setForeground(ColDeclaration, QBrush());
      if (!Group[I].Line.empty()) {
        Item->setText(ColDeclaration, Utf8(Group[I].Line));
        Item->setToolTip(ColDeclaration, Item->text(ColDeclaration));
      } else {
        Item->setText(ColDeclaration, Loaded ? tr("%1 (no longer in the file)").arg(Utf8(Group[I].Name))
                                             : tr("%1 (the file no longer loads)").arg(Utf8(Group[I].Name)));
        Item->setForeground(ColDeclaration, QColor(200, 0, 0));
        if (!Loaded) Item->setToolTip(ColDeclaration, QString::fromStdString(DisplayText(Error)));
      }
    }
    ++FNextGroup;
    if (Clock.elapsed() >= SliceMs) break;
  }
  if (FNextGroup < FGroups.size()) QTimer::singleShot(0, this, &TFolderFindPage::FillLines);
}

QString TFolderFindPage::LibraryMark(uint32_t Unit) const {
  return FIndex && FIndex->Library(Unit) ? tr(" (library)") : QString();
}

void TFolderFindPage::Activate(QTreeWidgetItem* Item) {
  if (!Item) return;
  const QString Path = Item->data(0, Qt::UserRole).toString();
  if (Path.isEmpty()) return;
  const qlonglong Offset = Item->data(0, OffsetRole).toLongLong();
  if (Offset >= 0) emit declarationRequested(Path, Offset);
  else emit unitRequested(Path);
}
