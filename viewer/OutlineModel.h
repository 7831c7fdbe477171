// The outline beside a listing: a tree of entries (sections, kinds,
// declarations and members; routines and the routines nested in them),
// each with its text, the anchor of its place in the listing and the file
// offset of its tag byte, and the item model a tree view shows it through.
//
// The tree keeps its texts in one string and a few words per entry, and the
// model filters it itself: an entry stays when its text holds the filter
// (letter case ignored) or one of its entries below does. An outline of a
// million declarations costs tens of megabytes, not hundreds, and filtering
// it is one pass.
#pragma once

#include <QAbstractItemModel>
#include <QString>
#include <QStringView>
#include <cstdint>
#include <string_view>
#include <vector>

class TOutlineTree {
 public:
  static constexpr int32_t Top = -1;  // the parent of the top entries

  // Adds an entry under Parent (Top, or an entry added before) after the
  // entries already there; returns its number.
  int32_t Add(int32_t Parent, QStringView Text, int64_t Anchor = -1, int64_t TagOffset = -1);
  int32_t AddUtf8(int32_t Parent, std::string_view Text, int64_t Anchor = -1, int64_t TagOffset = -1);
  // Makes the lists of entries below each entry; the model calls it.
  void Finish();

  int32_t Size() const { return static_cast<int32_t>(FNodes.size()); }
  QStringView Text(int32_t N) const;
  int64_t Anchor(int32_t N) const { return FNodes[static_cast<size_t>(N)].Anchor; }
  int64_t TagOffset(int32_t N) const { return FNodes[static_cast<size_t>(N)].Tag; }
  int32_t Parent(int32_t N) const { return FNodes[static_cast<size_t>(N)].Parent; }
  // The entries below N (Top: the top entries), in the order added.
  int32_t ChildCount(int32_t N) const;
  int32_t Child(int32_t N, int32_t Row) const;
  // The place of N among its parent's entries.
  int32_t Row(int32_t N) const { return FRows[static_cast<size_t>(N)]; }

 private:
  struct TNode {
    uint32_t TextStart = 0;
    uint32_t TextLen = 0;
    int32_t Parent = Top;
    int64_t Anchor = -1;
    int64_t Tag = -1;
  };
  QString FText;
  std::vector<TNode> FNodes;
  // Lists of entries below each entry, one after the other; slot 0 is Top.
  std::vector<int32_t> FChildStart;
  std::vector<int32_t> FChildren;
  std::vector<int32_t> FRows;
};

class TOutlineModel : public QAbstractItemModel {
  Q_OBJECT
 public:
  // Data roles besides the text: the anchor and the tag byte's offset
  // (qlonglong, -1 when none), the entry's number in the tree.
  static constexpr int AnchorRole = Qt::UserRole + 1;
  static constexpr int OffsetRole = Qt::UserRole + 2;
  static constexpr int EntryRole = Qt::UserRole + 3;

  explicit TOutlineModel(QObject* Parent = nullptr);

  void SetTree(TOutlineTree Tree);
  const TOutlineTree& Tree() const { return FTree; }
  // Keeps the entries whose text holds Text, and those above them.
  void SetFilter(const QString& Text);
  const QString& Filter() const { return FFilter; }
  // The index of entry N; invalid when it is filtered out.
  QModelIndex IndexOf(int32_t N) const;

  QModelIndex index(int Row, int Column, const QModelIndex& Parent = {}) const override;
  QModelIndex parent(const QModelIndex& Index) const override;
  int rowCount(const QModelIndex& Parent = {}) const override;
  int columnCount(const QModelIndex& Parent = {}) const override;
  bool hasChildren(const QModelIndex& Parent = {}) const override;
  QVariant data(const QModelIndex& Index, int Role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& Index) const override;

 private:
  static int32_t NodeOf(const QModelIndex& Index) {
    return Index.isValid() ? static_cast<int32_t>(Index.internalId()) : TOutlineTree::Top;
  }
  int32_t Count(int32_t N) const;
  int32_t Child(int32_t N, int32_t Row) const;
  int32_t RowOf(int32_t N) const;

  TOutlineTree FTree;
  QString FFilter;
  // While filtered: the entries kept below each entry, and each one's row.
  std::vector<int32_t> FKeptStart;
  std::vector<int32_t> FKept;
  std::vector<int32_t> FKeptRow;
};
