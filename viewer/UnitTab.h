// A file tab: the header strip with the full path, a switch between four
// views of the file, and the views themselves.
//
//   Summary       the summary written when the file was opened (the default)
//   Declarations  the listing of the unit's declarations with an outline
//   Bytes         a hex and character dump of the file
//   Code          the routines' machine code, disassembled, with an outline
//
// Only the summary is made with the tab. The others are built the first
// time they are shown, reading the file again then; a view that is never
// shown costs nothing. Each tab remembers its view while it is open. The
// views lead into each other: a routine's name in the Declarations view to
// its code, a declaration named in the code to the Declarations view (Back
// returns), and what is chosen in either is marked in the Bytes view.
#pragma once

#include <QColor>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>

class QAbstractButton;
class QLabel;
class QLineEdit;
class QMenu;
class QStackedWidget;
class QToolButton;
class QTextEdit;
class TCodeView;
class TDeclView;
class THexView;
class TJx_PanelGradient;
class TUsedUnits;

enum class TUnitView { Summary = 0, Declarations = 1, Bytes = 2, Code = 3 };
inline constexpr int UnitViewCount = 4;

// The welcome tab is a plain page; every file tab is one of these.
class TAdvTabSheet : public QWidget {
  Q_OBJECT
 public:
  explicit TAdvTabSheet(QWidget* Parent = nullptr);

  // Makes the header, the view switch and the summary view. Called once the
  // page stands in the tab control, so that the parts take the tab font.
  void Build(const QString& Path, const QColor& HeaderBack, int BorderWidth);

  TJx_PanelGradient* Header = nullptr;
  QTextEdit* TextView = nullptr;  // the page's tag: the view of its summary

  const QString& Path() const { return FPath; }

  // The file did not load: the message shown in the summary, and the file
  // offsets of the byte where reading stopped and of the last tag byte
  // (-1: not known).
  // A plain sentence of the cause goes under the path where it is clear
  // (HintLabel).
  void SetFailure(const QString& Message, int64_t At, int64_t Def);
  QLabel* HintLabel = nullptr;
  bool Failed() const { return FFailed; }
  int64_t FailureOffset() const { return FFailAt; }
  int64_t FailureDefOffset() const { return FFailDef; }

  TUnitView View() const { return FView; }
  void ShowView(TUnitView View);
  // The widget of the view shown.
  QWidget* ViewWidget() const;
  // The button that switches to View.
  QAbstractButton* ViewButton(TUnitView View);
  // "Compare With...", at the end of the view switch: its menu is filled by
  // FillCompareMenu (set by the window) each time it opens.
  QToolButton* CompareButton() {
    if (!FButtons[0]) BuildViewSwitch();
    return FCompareButton;
  }
  std::function<void(QMenu* Menu)> FillCompareMenu;

  // The views built so far (null until first shown).
  TDeclView* DeclView() const { return FDecl; }
  THexView* HexView() const { return FHex; }
  TCodeView* CodeView() const { return FCode; }
  // The line above the dump: what the marks stand for.
  QLabel* BytesInfo() const { return FBytesInfo; }
  QLineEdit* BytesFind() const { return FBytesFind; }
  // Goes to the next (previous) place of the bytes in the find box, round
  // the end of the file; false when there is none.
  bool FindBytes(bool Backward);

  // Marks the tag byte of a declaration in the Bytes view, now or when the
  // view is built, and puts it in sight there.
  void MarkDeclaration(const QString& Name, int64_t TagOffset);
  // Marks the bytes of an instruction or of data of the Code view so.
  void MarkCodeItem(const QString& Text, int64_t Offset, int64_t Size);

  // Shows the Declarations view at the declaration with the tag byte at
  // TagOffset, Back returning to the Code view; false when it is not listed.
  bool ShowDeclarationOf(int64_t TagOffset);
  // Shows the Code view at the routine declared at TagOffset, Back
  // returning to the Declarations view; false when it has no code.
  bool ShowCodeOf(int64_t TagOffset);
  // Shows the Declarations view at the declaration whose tag byte is at
  // TagOffset (its anchor in the listing): its outline entry chosen when the
  // outline shows it, its name selected in the listing. False when the
  // listing has no such declaration (or the file did not load).
  bool ShowDeclaration(int64_t TagOffset);

  // The file of the used unit that declares the type Name ("Unit.Name":
  // that unit's): of the units this one uses, System first, the last that
  // declares it, as the compiler takes it; looked for as Library looks for
  // used units. Empty when none at hand does (or the Declarations view has
  // not been built).
  QString UsedUnitDeclaring(const QString& Name);
  // Set by the window before the views are built: the library of the units
  // the unit uses (null: the unit is read alone), and the folder of the
  // folder tab the file was opened from (looked in after the file's own).
  std::shared_ptr<TUsedUnits> Library;
  QString TabFolder;

  // Set by the window: the colour of comments in the listing, and the seam
  // that asks where to save the listing.
  QColor CommentColor;
  std::function<QString(const QString& Suggested)> AskSaveName;
  // Asks where to save an export of the Code view (the name suggested, the
  // file filter); empty: cancelled.
  std::function<QString(const QString& Suggested, const QString& Filter)> AskSaveFile;

 signals:
  // A type name of another unit was followed in the Declarations view: the
  // file of the used unit that declares it, and the name.
  void outsideDeclarationWanted(const QString& File, const QString& Name);

 protected:
  void showEvent(QShowEvent* Event) override;

 private:
  void BuildViewSwitch();
  void BuildDeclView();
  void BuildBytesView();
  void BuildCodeView();
  void CreateBytesPage();
  QLineEdit* CreateGoToBox();
  QLineEdit* CreateBytesFindBox();
  bool LoadBytes();
  void UpdateBytesMarks(bool Scroll);
  void ShowPosition(int64_t Offset);

  QString FPath;
  TUnitView FView = TUnitView::Summary;
  QAbstractButton* FButtons[UnitViewCount] = {};
  QToolButton* FCompareButton = nullptr;
  QStackedWidget* FStack = nullptr;
  TDeclView* FDecl = nullptr;
  THexView* FHex = nullptr;
  TCodeView* FCode = nullptr;
  QWidget* FBytesPage = nullptr;
  QLabel* FBytesInfo = nullptr;
  QLineEdit* FBytesFind = nullptr;
  QLabel* FPosition = nullptr;

  bool FFailed = false;
  QString FFailMessage;
  int64_t FFailAt = -1;
  int64_t FFailDef = -1;
  // What the Bytes view marks of a loaded file: a declaration's tag byte or
  // an item of the code (Offset -1: nothing).
  QString FMarkName;
  int64_t FMarkOffset = -1;
  int64_t FMarkSize = 1;
  bool FMarkIsCode = false;
};
