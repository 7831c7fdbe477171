// Shared pieces of the viewer tests: registration of the test classes, unit
// files written into a temporary folder, and reading a text view back as
// lines with their format.
#pragma once

#include <QColor>
#include <QObject>
#include <QString>
#include <QTemporaryDir>
#include <QUrl>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

class QTextEdit;
class QWidget;

namespace viewertest {

using TFactory = std::function<std::unique_ptr<QObject>()>;
std::vector<TFactory>& Registry();

template <class T>
struct TRegister {
  TRegister() {
    Registry().push_back([] { return std::unique_ptr<QObject>(new T); });
  }
};

// The folder of the generated sample units.
QString SampleDir();
// The folder of the run's settings (a temporary one, never the user's), and
// emptying them, so that a window starts as on a first run.
extern QString SettingsPath;
void ClearSettings();
// Writes Bytes to Dir/Name and returns the full path.
QString WriteFile(const QTemporaryDir& Dir, const QString& Name, const std::vector<uint8_t>& Bytes);
// Copies the sample unit Demo<Version>.dcu to Dir/Name and returns the path.
QString CopySample(const QTemporaryDir& Dir, const QString& Name, int Version = 7);

// One line of a text view: its text, whether it is indented, and for every
// character whether it is bold and its colour (invalid: the default).
struct TViewLine {
  QString Text;
  bool Indented = false;
  std::vector<bool> Bold;
  std::vector<QColor> Color;
};
// The visible lines of a view: every block but an empty last one.
std::vector<TViewLine> ViewLines(const QTextEdit* View);
// The visible lines as plain text, one per line.
QStringList ViewTexts(const QTextEdit* View);

// A synthesized drag entering / drop on Panel; true when the panel takes it.
bool DragEnters(QWidget* Panel, const QList<QUrl>& Urls);
bool Drops(QWidget* Panel, const QList<QUrl>& Urls);
QList<QUrl> FileUrls(const QStringList& Paths);

}  // namespace viewertest

#define VIEWER_TEST(Class) static viewertest::TRegister<Class> Register##Class
