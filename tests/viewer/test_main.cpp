// Runs every registered viewer test class in one application.
#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QSettings>
#include <QStandardPaths>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>

#include "ViewerTestUtil.h"

namespace viewertest {

std::vector<TFactory>& Registry() {
  static std::vector<TFactory> R;
  return R;
}

QString SampleDir() { return QStringLiteral(UNITPEEK_SAMPLE_DIR); }

QString SettingsPath;

void ClearSettings() {
  QSettings S;
  S.clear();
  S.sync();
}

QString WriteFile(const QTemporaryDir& Dir, const QString& Name, const std::vector<uint8_t>& Bytes) {
  QString Path = Dir.filePath(Name);
  QFile F(Path);
  if (!F.open(QIODevice::WriteOnly | QIODevice::Truncate)) qFatal("cannot write %s", qPrintable(Path));
  F.write(reinterpret_cast<const char*>(Bytes.data()), static_cast<qint64>(Bytes.size()));
  return Path;
}

QString CopySample(const QTemporaryDir& Dir, const QString& Name, int Version) {
  QString From = QDir(SampleDir()).filePath(QStringLiteral("Demo%1.dcu").arg(Version));
  QString To = Dir.filePath(Name);
  QFile::remove(To);
  if (!QFile::copy(From, To)) qFatal("cannot copy %s", qPrintable(From));
  return To;
}

std::vector<TViewLine> ViewLines(const QTextEdit* View) {
  std::vector<TViewLine> Lines;
  const QTextDocument* Doc = View->document();
  for (QTextBlock B = Doc->begin(); B.isValid(); B = B.next()) {
    if (B == Doc->lastBlock() && B.text().isEmpty()) break;
    TViewLine L;
    L.Text = B.text();
    L.Indented = B.blockFormat().leftMargin() > 0;
    for (auto It = B.begin(); !It.atEnd(); ++It) {
      QTextFragment F = It.fragment();
      QTextCharFormat CF = F.charFormat();
      bool Bold = CF.fontWeight() >= QFont::Bold;
      QColor C = CF.hasProperty(QTextFormat::ForegroundBrush) ? CF.foreground().color() : QColor();
      for (int I = 0; I < F.length(); ++I) {
        L.Bold.push_back(Bold);
        L.Color.push_back(C);
      }
    }
    Lines.push_back(L);
  }
  return Lines;
}

QStringList ViewTexts(const QTextEdit* View) {
  QStringList S;
  for (const TViewLine& L : ViewLines(View)) S << L.Text;
  return S;
}

namespace {
std::unique_ptr<QMimeData> UrlData(const QList<QUrl>& Urls) {
  auto D = std::make_unique<QMimeData>();
  D->setUrls(Urls);
  return D;
}
}  // namespace

bool DragEnters(QWidget* Panel, const QList<QUrl>& Urls) {
  std::unique_ptr<QMimeData> Data = UrlData(Urls);
  QDragEnterEvent E(QPoint(5, 5), Qt::CopyAction, Data.get(), Qt::LeftButton, Qt::NoModifier);
  E.ignore();
  // Straight to the panel, as the platform's drag and drop would deliver it.
  static_cast<QObject*>(Panel)->event(&E);
  return E.isAccepted();
}

bool Drops(QWidget* Panel, const QList<QUrl>& Urls) {
  std::unique_ptr<QMimeData> Data = UrlData(Urls);
  QDropEvent E(QPointF(5, 5), Qt::CopyAction, Data.get(), Qt::LeftButton, Qt::NoModifier);
  E.ignore();
  // Straight to the panel, as the platform's drag and drop would deliver it.
  static_cast<QObject*>(Panel)->event(&E);
  return E.isAccepted();
}

QList<QUrl> FileUrls(const QStringList& Paths) {
  QList<QUrl> U;
  for (const QString& P : Paths) U << QUrl::fromLocalFile(P);
  return U;
}

}  // namespace viewertest

int main(int argc, char** argv) {
  QApplication App(argc, argv);
  QApplication::setOrganizationName(QStringLiteral("UnitPeek"));
  QApplication::setApplicationName(QStringLiteral("UnitPeek"));
  QApplication::setApplicationDisplayName(QStringLiteral("UnitPeek"));
  // The windows keep their settings in a folder of the run's own, never in
  // the user's.
  QStandardPaths::setTestModeEnabled(true);
  QTemporaryDir SettingsDir;
  if (!SettingsDir.isValid()) qFatal("no temporary folder for the settings");
  viewertest::SettingsPath = SettingsDir.path();
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, SettingsDir.path());
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, SettingsDir.path());
  int Failed = 0;
  for (const auto& Make : viewertest::Registry()) {
    std::unique_ptr<QObject> T = Make();
    Failed += QTest::qExec(T.get(), argc, argv) != 0;
  }
  return Failed == 0 ? 0 : 1;
}
