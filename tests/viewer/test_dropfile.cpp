// The drop-target panel: the Accept switch and the hand-over of drops.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include "Jx_PanelDropFile.h"
#include "ViewerTestUtil.h"

using namespace viewertest;

namespace {
// Counts the registrations with the platform.
class TCountingPanel : public TJx_PanelDropFile {
 public:
  int Calls = 0;
  std::vector<bool> Values;

 protected:
  void DragAcceptFiles(bool Value) override {
    ++Calls;
    Values.push_back(Value);
    TJx_PanelDropFile::DragAcceptFiles(Value);
  }
};

}  // namespace

class TestPanelDropFile : public QObject {
  Q_OBJECT
 private slots:
  void acceptWithoutHandlerFails() {
    TCountingPanel P;
    QVERIFY(!P.Accept());
    try {
      P.SetAccept(true);
      QFAIL("no error");
    } catch (const EJxDropError& E) {
      QCOMPARE(QString::fromUtf8(E.what()), QString::fromUtf8("Método Drop não definido"));
    }
    QVERIFY(!P.Accept());
    QVERIFY(!P.acceptDrops());
    QCOMPARE(P.Calls, 0);
  }

  void settingTheCurrentValueCallsNothing() {
    TCountingPanel P;
    P.OnDropFiles = [](const QStringList&) {};
    P.SetAccept(false);
    QCOMPARE(P.Calls, 0);
    P.SetAccept(true);
    P.SetAccept(true);
    QCOMPARE(P.Calls, 1);
    P.SetAccept(false);
    P.SetAccept(false);
    P.SetAccept(true);
    QCOMPARE(P.Values, std::vector<bool>({true, false, true}));
    QVERIFY(P.acceptDrops());
  }

  void oneCallPerDropWithAllNamesInOrder() {
    TJx_PanelDropFile P;
    std::vector<QStringList> Calls;
    P.OnDropFiles = [&](const QStringList& Names) { Calls.push_back(Names); };
    const QList<QUrl> Urls = {QUrl::fromLocalFile("/tmp/b.dcu"), QUrl::fromLocalFile("/tmp/a.dcu"),
                              QUrl::fromLocalFile("/tmp/c d.dcu")};
    // Off: refused, the handler is not called.
    QVERIFY(!DragEnters(&P, Urls));
    QVERIFY(!Drops(&P, Urls));
    QVERIFY(Calls.empty());

    P.SetAccept(true);
    QVERIFY(DragEnters(&P, Urls));
    QVERIFY(Drops(&P, Urls));
    QCOMPARE(Calls.size(), size_t(1));
    QCOMPARE(Calls[0], QStringList({"/tmp/b.dcu", "/tmp/a.dcu", "/tmp/c d.dcu"}));

    // Off and on again: refused in between.
    P.SetAccept(false);
    QVERIFY(!Drops(&P, Urls));
    P.SetAccept(true);
    QVERIFY(Drops(&P, Urls));
    QCOMPARE(Calls.size(), size_t(2));
  }

  void dragsWithOtherThanLocalFilesAreRefused() {
    TJx_PanelDropFile P;
    int Calls = 0;
    P.OnDropFiles = [&](const QStringList&) { ++Calls; };
    P.SetAccept(true);
    const QList<QUrl> Mixed = {QUrl::fromLocalFile("/tmp/a.dcu"), QUrl("https://example.org/b.dcu")};
    QVERIFY(!DragEnters(&P, Mixed));
    QVERIFY(!Drops(&P, Mixed));
    QVERIFY(!DragEnters(&P, {}));
    // Plain text is no file.
    std::unique_ptr<QMimeData> Text(new QMimeData);
    Text->setText(QStringLiteral("/tmp/a.dcu"));
    QDropEvent E(QPointF(5, 5), Qt::CopyAction, Text.get(), Qt::LeftButton, Qt::NoModifier);
    E.ignore();
    static_cast<QObject*>(&P)->event(&E);
    QVERIFY(!E.isAccepted());
    QCOMPARE(Calls, 0);
  }
};

VIEWER_TEST(TestPanelDropFile);
#include "test_dropfile.moc"
