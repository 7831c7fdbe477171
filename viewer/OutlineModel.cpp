// The outline tree and its filtering item model (see OutlineModel.h).
#include "OutlineModel.h"

#include <limits>

// ---- tree -------------------------------------------------------------------

int32_t TOutlineTree::Add(int32_t Parent, QStringView Text, int64_t Anchor, int64_t TagOffset) {
  // Texts stay within 32-bit positions; an outline that would pass them
  // keeps its entries with empty texts.
  if (FText.size() + Text.size() >= std::numeric_limits<uint32_t>::max()) Text = {};
  TNode N;
  N.TextStart = static_cast<uint32_t>(FText.size());
  N.TextLen = static_cast<uint32_t>(Text.size());
  N.Parent = Parent >= 0 && Parent < Size() ? Parent : Top;
  N.Anchor = Anchor;
  N.Tag = TagOffset;
  FText += Text;
  FNodes.push_back(N);
  return Size() - 1;
}

int32_t TOutlineTree::AddUtf8(int32_t Parent, std::string_view Text, int64_t Anchor, int64_t TagOffset) {
  return Add(Parent, QString::fromUtf8(Text.data(), static_cast<qsizetype>(Text.size())), Anchor, TagOffset);
}

void TOutlineTree::Finish() {
  // Counting sort by parent: every entry's list in the order added.
  const size_t N = FNodes.size();
  FChildStart.assign(N + 2, 0);
  for (const TNode& E : FNodes) ++FChildStart[static_cast<size_t>(E.Parent + 2)];
  for (size_t I = 1; I < FChildStart.size(); ++I) FChildStart[I] += FChildStart[I - 1];
  FChildren.assign(N, 0);
  FRows.assign(N, 0);
  std::vector<int32_t> Fill(FChildStart.begin(), FChildStart.end() - 1);
  for (size_t I = 0; I < N; ++I) {
    const auto Slot = static_cast<size_t>(FNodes[I].Parent + 1);
    FRows[I] = Fill[Slot] - FChildStart[Slot];
    FChildren[static_cast<size_t>(Fill[Slot]++)] = static_cast<int32_t>(I);
  }
}

QStringView TOutlineTree::Text(int32_t N) const {
  const TNode& E = FNodes[static_cast<size_t>(N)];
  return QStringView(FText).mid(E.TextStart, E.TextLen);
}

int32_t TOutlineTree::ChildCount(int32_t N) const {
  if (FChildStart.empty()) return 0;
  const auto Slot = static_cast<size_t>(N + 1);
  return FChildStart[Slot + 1] - FChildStart[Slot];
}

int32_t TOutlineTree::Child(int32_t N, int32_t Row) const {
  return FChildren[static_cast<size_t>(FChildStart[static_cast<size_t>(N + 1)] + Row)];
}

// ---- model ------------------------------------------------------------------

TOutlineModel::TOutlineModel(QObject* Parent) : QAbstractItemModel(Parent) { FTree.Finish(); }

void TOutlineModel::SetTree(TOutlineTree Tree) {
  beginResetModel();
  FTree = std::move(Tree);
  FTree.Finish();
  FKeptStart.clear();
  FKept.clear();
  FKeptRow.clear();
  const QString Filter = FFilter;
  FFilter.clear();
  endResetModel();
  if (!Filter.isEmpty()) SetFilter(Filter);
}

void TOutlineModel::SetFilter(const QString& Text) {
  beginResetModel();
  FFilter = Text;
  FKeptStart.clear();
  FKept.clear();
  FKeptRow.clear();
  if (!Text.isEmpty()) {
    // An entry is kept when it matches or an entry below it is kept; every
    // entry comes after its parent, so one pass from the end decides all.
    const int32_t N = FTree.Size();
    std::vector<bool> Kept(static_cast<size_t>(N));
    for (int32_t I = N - 1; I >= 0; --I) {
      if (!Kept[static_cast<size_t>(I)] && FTree.Text(I).contains(Text, Qt::CaseInsensitive)) Kept[static_cast<size_t>(I)] = true;
      if (Kept[static_cast<size_t>(I)] && FTree.Parent(I) != TOutlineTree::Top) Kept[static_cast<size_t>(FTree.Parent(I))] = true;
    }
    FKeptStart.assign(static_cast<size_t>(N) + 2, 0);
    FKeptRow.assign(static_cast<size_t>(N), -1);
    for (int32_t P = TOutlineTree::Top; P < N; ++P) {
      FKeptStart[static_cast<size_t>(P + 1)] = static_cast<int32_t>(FKept.size());
      if (P != TOutlineTree::Top && !Kept[static_cast<size_t>(P)]) continue;
      for (int32_t R = 0; R < FTree.ChildCount(P); ++R) {
        const int32_t C = FTree.Child(P, R);
        if (!Kept[static_cast<size_t>(C)]) continue;
        FKeptRow[static_cast<size_t>(C)] = static_cast<int32_t>(FKept.size()) - FKeptStart[static_cast<size_t>(P + 1)];
        FKept.push_back(C);
      }
    }
    FKeptStart[static_cast<size_t>(N) + 1] = static_cast<int32_t>(FKept.size());
  }
  endResetModel();
}

int32_t TOutlineModel::Count(int32_t N) const {
  if (FFilter.isEmpty()) return FTree.ChildCount(N);
  const auto Slot = static_cast<size_t>(N + 1);
  return FKeptStart[Slot + 1] - FKeptStart[Slot];
}

int32_t TOutlineModel::Child(int32_t N, int32_t Row) const {
  if (FFilter.isEmpty()) return FTree.Child(N, Row);
  return FKept[static_cast<size_t>(FKeptStart[static_cast<size_t>(N + 1)] + Row)];
}

int32_t TOutlineModel::RowOf(int32_t N) const {
  return FFilter.isEmpty() ? FTree.Row(N) : FKeptRow[static_cast<size_t>(N)];
}

QModelIndex TOutlineModel::IndexOf(int32_t N) const {
  if (N < 0 || N >= FTree.Size() || RowOf(N) < 0) return {};
  return createIndex(RowOf(N), 0, static_cast<quintptr>(N));
}

QModelIndex TOutlineModel::index(int Row, int Column, const QModelIndex& Parent) const {
  const int32_t P = NodeOf(Parent);
  if (Column != 0 || Row < 0 || Row >= Count(P)) return {};
  return createIndex(Row, 0, static_cast<quintptr>(Child(P, Row)));
}

QModelIndex TOutlineModel::parent(const QModelIndex& Index) const {
  if (!Index.isValid()) return {};
  return IndexOf(FTree.Parent(NodeOf(Index)));
}

int TOutlineModel::rowCount(const QModelIndex& Parent) const {
  if (Parent.column() > 0) return 0;
  return Count(NodeOf(Parent));
}

int TOutlineModel::columnCount(const QModelIndex&) const { return 1; }

bool TOutlineModel::hasChildren(const QModelIndex& Parent) const { return rowCount(Parent) > 0; }

QVariant TOutlineModel::data(const QModelIndex& Index, int Role) const {
  if (!Index.isValid()) return {};
  const int32_t N = NodeOf(Index);
  switch (Role) {
    case Qt::DisplayRole: return FTree.Text(N).toString();
    case Qt::ToolTipRole:
      if (FTree.TagOffset(N) < 0) return {};
      return QStringLiteral("0x%1").arg(QString::number(FTree.TagOffset(N), 16).toUpper());
    case AnchorRole: return static_cast<qlonglong>(FTree.Anchor(N));
    case OffsetRole: return static_cast<qlonglong>(FTree.TagOffset(N));
    case EntryRole: return N;
    default: return {};
  }
}

Qt::ItemFlags TOutlineModel::flags(const QModelIndex& Index) const {
  return Index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}
