// The Declarations view of a file tab: the listing of the unit's
// declarations as formatted text, with an outline of them beside it.
//
// - Choosing an entry of the outline (click, Enter or the arrow keys)
//   scrolls the listing to it and reports the file offset of its tag byte
//   (the tab marks it in the Bytes view).
// - The filter box (Ctrl+F) narrows the outline to the entries whose text
//   holds the filter, and highlights the matches in the listing.
// - Type names that stand for a declaration of the same unit are links; a
//   link jumps to the declaration, Back (Alt+Left) returns.
// - Copy puts the whole listing on the clipboard; "Save as .pas..." writes it
//   to a file, the one place where the viewer writes anything.
//
// The view knows nothing of the reader: it is filled through a
// TDeclListingBuilder (the text, run by run) and a tree of TOutlineEntry.
#pragma once

#include <QColor>
#include <QHash>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QLabel;
class QLineEdit;
class QModelIndex;
class QSortFilterProxyModel;
class QSplitter;
class QStandardItem;
class QStandardItemModel;
class QTextBrowser;
class QTextDocument;
class QToolButton;
class QTreeView;
class QUrl;
class QVBoxLayout;

// One entry of the outline: a section, a kind of declarations, or a
// declaration with its members. Anchor names the place in the listing
// (empty: none); TagOffset is the file offset of the declaration's tag byte
// (-1: none).
struct TOutlineEntry {
  QString Text;
  QString Anchor;
  int64_t TagOffset = -1;
  std::vector<TOutlineEntry> Children;
};

// Where a declaration's name stands in the listing: document position and
// length of the name.
struct TListingPlace {
  int Pos = 0;
  int Len = 0;
};
using TListingAnchors = QHash<QString, TListingPlace>;

// Writes the listing into a text document run by run: keywords bold,
// comments in the comment colour, names of declarations as link targets,
// type names that refer to a declaration as links to it.
class TDeclListingBuilder {
 public:
  TDeclListingBuilder(QTextDocument* Doc, const QColor& CommentColor);
  ~TDeclListingBuilder();
  TDeclListingBuilder(const TDeclListingBuilder&) = delete;
  TDeclListingBuilder& operator=(const TDeclListingBuilder&) = delete;

  void Plain(const QString& Text);
  void Keyword(const QString& Text);
  void Comment(const QString& Text);
  // The name of a declaration: the place Anchor stands for.
  void NameDef(const QString& Text, const QString& Anchor);
  // A name that refers to the declaration at Target (a link when the target
  // is defined somewhere in the listing).
  void TypeRef(const QString& Text, const QString& Target);
  void EndLine();

  // Where each anchor was defined: the place of its name.
  const TListingAnchors& Anchors() const { return FAnchors; }

 private:
  struct TImpl;
  std::unique_ptr<TImpl> D;
  TListingAnchors FAnchors;
};

class TDeclView : public QWidget {
  Q_OBJECT
 public:
  explicit TDeclView(QWidget* Parent = nullptr);
  ~TDeclView() override;

  // Takes the listing written by a builder over Doc (the view owns it from
  // now on), the builder's anchors and the outline.
  void SetListing(std::unique_ptr<QTextDocument> Doc, const TListingAnchors& Anchors,
                  const std::vector<TOutlineEntry>& Outline);
  // Shows a message instead of a listing (a file that did not load).
  void SetMessage(const QString& Text);

  // Asks for the name of the file to save the listing to (empty: cancelled);
  // Suggested is a full path to start from.
  std::function<QString(const QString& Suggested)> AskSaveName;
  // The path "Save as .pas..." starts from.
  QString SuggestedSaveName;

  // The listing as plain text, one line per line (what Copy and Save give).
  QString ListingText() const;

  // Scrolls the listing to the place Anchor names and selects its name;
  // Record puts the place left onto the Back history. False when unknown.
  bool JumpTo(const QString& Anchor, bool Record = true);
  // Follows a link of the listing.
  void FollowLink(const QUrl& Url);
  // Returns to the place before the last jump; false when there is none.
  bool Back();
  bool CanGoBack() const { return !FHistory.empty(); }

  void SetFilter(const QString& Text);
  void CopyListing();
  // Asks for a file name and writes the listing; true when written.
  bool SaveListing();

  // Parts, for the window and the tests.
  QLineEdit* FilterBox = nullptr;
  QTreeView* Outline = nullptr;
  QTextBrowser* Listing = nullptr;
  QToolButton* BackButton = nullptr;
  QToolButton* CopyButton = nullptr;
  QToolButton* SaveButton = nullptr;
  QLabel* Status = nullptr;
  // The outline's model before filtering (items carry anchor and offset).
  QStandardItemModel* OutlineModel = nullptr;
  QSortFilterProxyModel* OutlineFilter = nullptr;
  // Count of the filter's matches highlighted in the listing.
  int MatchCount() const { return FMatchCount; }

 signals:
  // An outline entry was chosen: the declaration's name and tag byte.
  void DeclarationChosen(const QString& Name, int64_t TagOffset);

 private:
  // The steps of building the view, in this order.
  void CreateToolBar(QVBoxLayout* Layout);
  void CreateOutlineAndListing(QVBoxLayout* Layout);
  void CreateStatusLine(QVBoxLayout* Layout);
  void ConnectParts();
  void CreateKeys();

  void OutlineChosen(const QModelIndex& Index);
  void HighlightMatches(const QString& Text);
  void ScrollToPosition(int Pos, int Length);
  void ShowStatus(const QString& Text, bool Error = false);

  std::unique_ptr<QTextDocument> FDoc;
  TListingAnchors FAnchors;
  struct TPlace {
    int Cursor;
    int Scroll;
  };
  std::vector<TPlace> FHistory;
  int FMatchCount = 0;
  QSplitter* FSplitter = nullptr;
};

// Role of the outline items: anchor (text) and tag byte offset.
constexpr int OutlineAnchorRole = Qt::UserRole + 1;
constexpr int OutlineOffsetRole = Qt::UserRole + 2;
