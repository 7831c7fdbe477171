// What the Declarations and the Code view share: a tool bar (the filter box,
// the previous and next match, Back, Copy), an outline beside a listing
// view in a named splitter, and a status line under them.
//
// Keys: Ctrl+F to the filter box (Escape there clears it), Enter and F3 the
// next match, Shift+Enter and Shift+F3 the previous one, Alt+Left Back.
// What the filter does is the view's (FilterChanged); by default it marks
// the matches in the listing.
#pragma once

#include <QString>
#include <QWidget>

class QHBoxLayout;
class QLabel;
class QLineEdit;
class QSplitter;
class QToolButton;
class QTreeView;
class QVBoxLayout;
class TListingView;

class TListingPane : public QWidget {
  Q_OBJECT
 public:
  // Name: the object name of the splitter (its position can be kept by name).
  TListingPane(const QString& SplitterName, const QString& FilterHint, QWidget* Parent = nullptr);

  void SetFilter(const QString& Text);
  // Goes to the next (previous) match of the filter in the listing.
  virtual bool NextMatch(bool Backward = false);
  // Returns to the place before the last jump; false when there is none.
  bool Back();
  bool CanGoBack() const;
  // Puts the whole listing on the clipboard.
  virtual void CopyListing();
  // Matches of the filter marked in the listing.
  int MatchCount() const;

  // Parts, for the window and the tests.
  QLineEdit* FilterBox = nullptr;
  QTreeView* Outline = nullptr;
  TListingView* Listing = nullptr;
  QToolButton* PreviousButton = nullptr;
  QToolButton* NextButton = nullptr;
  QToolButton* BackButton = nullptr;
  QToolButton* CopyButton = nullptr;
  QLabel* Status = nullptr;
  QSplitter* Splitter = nullptr;

 protected:
  // The filter box's text changed (and the box shows Text).
  virtual void FilterChanged(const QString& Text);
  // Shows the count of matches of the listing's find text.
  void ShowMatchCount();
  void ShowStatus(const QString& Text, bool Error = false);
  // A button at the end of the tool bar.
  QToolButton* AddButton(const QString& Name, const QString& Text, const QString& Tip);

 private:
  void CreateToolBar(QVBoxLayout* Layout, const QString& FilterHint);
  void CreateOutlineAndListing(QVBoxLayout* Layout, const QString& SplitterName);
  void CreateStatusLine(QVBoxLayout* Layout);
  void ConnectParts();
  void CreateKeys();

  QHBoxLayout* FBar = nullptr;
};
