// The Code view of a file tab: the unit's routines as an outline (nested
// routines under the routine they are declared in) beside the listing of
// the routine chosen, disassembled when it is shown.
//
// - The outline comes from the routines' heads; no routine is disassembled
//   before it is shown, so a unit of any size opens at once (a routine at a
//   time is also what the largest corpus unit needs to show within 200 ms:
//   its whole listing takes longer).
// - In the listing, labels and the routines and declarations of the unit
//   that instructions name are links: a label or a routine goes to its code,
//   another declaration to the Declarations view (ShowDeclaration); the
//   routine's heading goes to its declaration. Back (Alt+Left) returns,
//   across routines and views.
// - Find (Ctrl+F) marks the matches in the routine shown; Enter and F3 go on
//   into the routines after it (before it, with Shift).
// - Choosing a line of an instruction or of data reports its bytes
//   (itemChosen; the tab marks them in the Bytes view).
// - Copy puts the routine's listing on the clipboard.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "ListingPane.h"

class QLabel;
class QToolButton;
class TUnit;
class QModelIndex;
class TOutlineModel;
struct TCodeRoutine;
struct TCodeRoutineHead;

class TCodeView : public TListingPane {
  Q_OBJECT
 public:
  explicit TCodeView(QWidget* Parent = nullptr);
  ~TCodeView() override;

  // Loads the unit file at Path (kept while the view lives, to disassemble
  // from) and lists its routines, the first one shown. False, with a
  // message shown instead, when it does not load.
  bool Open(const QString& Path);
  // Of a damaged unit, the routines whose code was read before the error,
  // under a note that says where reading stopped; false when no routine's
  // code was read (the view is left as it was).
  bool OpenPartial(const QString& Path);
  // Shows a message instead of a listing.
  void SetMessage(const QString& Text);

  size_t RoutineCount() const;
  const TCodeRoutineHead& Head(size_t I) const;
  // The routine shown, disassembled; null when none.
  const TCodeRoutine* Shown() const;
  std::optional<size_t> ShownIndex() const;
  // Shows routine I from its heading; Record puts where the view stood onto
  // the Back history.
  bool ShowRoutine(size_t I, bool Record = true);
  // The routine whose declaration's tag byte is at DeclOffset.
  bool ShowRoutineAtDecl(int64_t DeclOffset, bool Record = true);
  std::optional<size_t> RoutineAtDecl(int64_t DeclOffset) const;
  // The item (instruction or data) of the caret's line; -1 when none.
  int CurrentItem() const;
  // The listing line where item I of the routine shown starts.
  qsizetype ItemLine(size_t I) const;

  bool NextMatch(bool Backward = false) override;

  // Above the listing when the source file found is not the unit's or the
  // unit is damaged (else null).
  QLabel* SourceNote = nullptr;

  // Goes to the declaration at the tag byte offset in the Declarations
  // view; false when that view does not list it.
  std::function<bool(int64_t TagOffset)> ShowDeclaration;
  // Goes to a name of another unit ("Forms.Application", a link of anchor
  // OutsideAnchor) in the used unit that declares it; false when no unit
  // at hand does.
  std::function<bool(const QString& Name)> FollowOutside;

  // Saving the listing to a text file (the Save button's menu): the routine
  // shown as the view lists it, or every routine one after the other with a
  // blank line between, each under its name. AskSaveFile asks where (the name
  // suggested, the file filter); empty: cancelled. True when written.
  std::function<QString(const QString& Suggested, const QString& Filter)> AskSaveFile;
  QString SuggestedSaveBase;  // the unit's path without its extension
  bool SaveRoutine();
  bool SaveAllRoutines();
  QToolButton* SaveCodeButton = nullptr;

 signals:
  // The caret came to a line of an item: its text, file offset and size.
  void itemChosen(const QString& Text, int64_t Offset, int64_t Size);

 protected:
  void FilterChanged(const QString& Text) override;

 private:
  struct TData;
  void FillOutline();
  void ShowSourceCheck();
  // A note above the listing (made when first needed).
  void ShowNote(const QString& Text);
  bool SaveText(const QString& Suggested, const std::string& Text);
  bool ShowUnit(std::unique_ptr<TUnit> Unit);
  void ShowListingOf(size_t I);
  void OutlineChosen(const QModelIndex& Index);
  void SelectInOutline(size_t I);
  void LinkOutside(int64_t Anchor, const QString& Text);
  void CaretMoved();

  std::unique_ptr<TData> D;
  TOutlineModel* FOutlineModel = nullptr;
  bool FSelecting = false;
  int FLastItem = -1;
};
