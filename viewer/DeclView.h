// The Declarations view of a file tab: the listing of the unit's
// declarations as formatted text, with an outline of them beside it.
//
// - Choosing an entry of the outline (click, Enter or the arrow keys)
//   scrolls the listing to it and reports the file offset of its tag byte
//   (the tab marks it in the Bytes view).
// - The filter box (Ctrl+F) narrows the outline to the entries whose text
//   holds the filter, and marks the matches in the listing; Enter and F3 go
//   from match to match.
// - Type names that stand for a declaration of the same unit are links; a
//   link jumps to the declaration, Back (Alt+Left) returns. The names of
//   routines that have code lead to it (codeWanted). A type name of another
//   unit (anchor OutsideAnchor) goes to FollowOutside, which finds the used
//   unit that declares it; where none does, the view says so.
// - Copy puts the whole listing on the clipboard; "Save as .pas..." writes it
//   to a file, the one place where the viewer writes anything.
//
// The view knows nothing of the reader: it is filled with a TListingText
// (anchors: the file offsets of the declarations' tag bytes) and an outline
// tree.
#pragma once

#include <QHash>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>

#include "ListingPane.h"
#include "ListingText.h"
#include "OutlineModel.h"

class QModelIndex;
class QToolButton;

class TDeclView : public TListingPane {
  Q_OBJECT
 public:
  explicit TDeclView(QWidget* Parent = nullptr);

  // Takes the listing and the outline (entries: sections, kinds of
  // declarations, declarations, members; anchors as in the listing).
  void SetListing(TListingText Text, TOutlineTree Outline);
  // Shows a message instead of a listing (a file that did not load).
  void SetMessage(const QString& Text);

  // Asks for the name of the file to save the listing to (empty: cancelled);
  // Suggested is a full path to start from.
  std::function<QString(const QString& Suggested)> AskSaveName;
  // The path "Save as .pas..." starts from.
  QString SuggestedSaveName;

  // The listing as plain text, one line per line (what Copy gives).
  QString ListingText() const;
  // What Save writes: the unit's skeleton, Pascal a compiler takes (the
  // listing where none was set).
  QString Skeleton;

  // Scrolls the listing to the place Anchor names and selects its name;
  // Record puts the place left onto the Back history. False when unknown.
  bool JumpTo(int64_t Anchor, bool Record = true);

  // Asks for a file name and writes the skeleton; true when written.
  bool SaveListing();

  // Of the unit shown: its format version, the units it uses (in file
  // order) and its type declarations by lower-case name (their tag bytes;
  // the interface's before the implementation's).
  int32_t UnitVersion = 0;
  QStringList UsedUnits;
  QHash<QString, int64_t> TypeDecls;
  // The tag byte of the type Name (any letter case) the unit declares, or -1.
  int64_t TypeDeclaration(const QString& Name) const { return TypeDecls.value(Name.toLower(), -1); }
  // Its declarations of other kinds (routines, variables, constants).
  QHash<QString, int64_t> OtherDecls;
  // The declaration of Name: a type's, else any other's; -1 when none.
  int64_t Declaration(const QString& Name) const {
    const int64_t T = TypeDeclaration(Name);
    return T >= 0 ? T : OtherDecls.value(Name.toLower(), -1);
  }
  // Follows a type name of another unit; false when no unit at hand
  // declares it.
  std::function<bool(const QString& Name)> FollowOutside;

  QToolButton* SaveButton = nullptr;
  // The outline's model (items carry anchor and offset).
  TOutlineModel* OutlineModel = nullptr;

 signals:
  // An outline entry was chosen: the declaration's name and tag byte.
  void declarationChosen(const QString& Name, int64_t TagOffset);
  // The name of a routine that has code was followed: its tag byte.
  void codeWanted(int64_t TagOffset);

 protected:
  void FilterChanged(const QString& Text) override;

 private:
  void OutlineChosen(const QModelIndex& Index);
  // Sections and kinds open, declarations with members closed.
  void ExpandSectionsAndKinds();
  void LinkOutside(int64_t Anchor, const QString& Text);
};

// Role of the outline items: anchor and tag byte offset.
constexpr int OutlineAnchorRole = TOutlineModel::AnchorRole;
constexpr int OutlineOffsetRole = TOutlineModel::OffsetRole;
