// The about box: program name, version and credits.
#pragma once

#include <QDialog>

class TJX_FormAbout : public QDialog {
  Q_OBJECT
 public:
  explicit TJX_FormAbout(QWidget* Parent = nullptr);
};
