// A plain panel that can accept files dropped from the desktop's file
// manager and hands every drop, unopened, to one handler.
#pragma once

#include <QFrame>
#include <QStringList>
#include <functional>
#include <stdexcept>

// Raised when the panel is switched to accept drops without a handler.
class EJxDropError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TJx_PanelDropFile : public QFrame {
  Q_OBJECT
 public:
  // Called once per drop with every dropped local file name, in the order
  // the drop lists them.
  using TDropFilesEvent = std::function<void(const QStringList& FileNames)>;

  explicit TJx_PanelDropFile(QWidget* Parent = nullptr);

  bool Accept() const { return FAccept; }
  // Switches the panel's registration as a drop target. Setting the current
  // value does nothing; switching on without a handler raises EJxDropError
  // and leaves the switch off.
  void SetAccept(bool Value);

  TDropFilesEvent OnDropFiles;

 protected:
  // Registers or unregisters the panel with the platform's drag and drop.
  virtual void DragAcceptFiles(bool Value);

  void dragEnterEvent(QDragEnterEvent* Event) override;
  void dragMoveEvent(QDragMoveEvent* Event) override;
  void dropEvent(QDropEvent* Event) override;

 private:
  bool FAccept = false;
};
