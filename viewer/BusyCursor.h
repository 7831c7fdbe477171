// The busy cursor while the window reads a file: opening a unit, building a
// tab's Declarations or Bytes view.
#pragma once

#include <QGuiApplication>

// Shows the busy cursor for as long as it lives.
class TBusyCursor {
 public:
  TBusyCursor() { QGuiApplication::setOverrideCursor(Qt::WaitCursor); }
  ~TBusyCursor() { QGuiApplication::restoreOverrideCursor(); }
  TBusyCursor(const TBusyCursor&) = delete;
  TBusyCursor& operator=(const TBusyCursor&) = delete;
};
