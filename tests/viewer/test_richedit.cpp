// The sink over the Qt text view writes the same lines, styles, colours and
// indentation as the widget-free recording sink.
#include <QTest>
#include <QTextEdit>

#include "UnitBuilder.h"
#include "UnitSummary.h"
#include "ViewerTestUtil.h"
#include "jx_richEdit.h"

using namespace viewertest;

namespace {
// Compares the view with the recording, line by line and piece by piece.
void CompareWithRecording(const QTextEdit& View, const TJX_RecordingSink& Rec) {
  std::vector<TViewLine> Got = ViewLines(&View);
  std::vector<TJX_RecordingSink::TLine> Want = Rec.VisibleLines();
  QStringList GotTexts, WantTexts;
  for (const auto& L : Got) GotTexts << L.Text;
  for (const auto& L : Want) WantTexts << QString::fromStdString(L.Text());
  QCOMPARE(GotTexts, WantTexts);
  for (size_t I = 0; I < Want.size(); ++I) {
    const TViewLine& G = Got[I];
    const auto& W = Want[I];
    if (!W.Empty()) QCOMPARE(G.Indented, W.Indented);
    size_t Ch = 0;
    for (const auto& P : W.Pieces) {
      for (int K = 0; K < QString::fromStdString(P.Text).size(); ++K, ++Ch) {
        QVERIFY2(G.Bold[Ch] == P.Bold, qPrintable(QStringLiteral("bold, line %1: %2").arg(I).arg(QString::fromStdString(W.Text()))));
        QVERIFY2(G.Color[Ch] == (P.Color.IsValid() ? QColor(P.Color.R, P.Color.G, P.Color.B) : QColor()), qPrintable(QStringLiteral("colour, line %1: %2").arg(I).arg(QString::fromStdString(W.Text()))));
      }
    }
  }
}
}  // namespace

class TestRichEditSink : public QObject {
  Q_OBJECT
 private slots:
  // Line endings on open and closed documents, running colour and
  // indentation, in both sinks.
  void primitivesMatchRecording() {
    QTextEdit View;
    TJX_RichEditSink Qt(&View);
    TJX_RecordingSink Rec;
    auto Both = [&](auto&& F) { F(static_cast<TJX_RichSink&>(Qt)); F(static_cast<TJX_RichSink&>(Rec)); };
    Both([](TJX_RichSink& S) {
      S.AddLine(std::string(), TFontStyle::Regular);  // closed: one blank line
      S.AppendText("Unit", TFontStyle::Bold);
      S.AppendText(" Demo;", TFontStyle::Regular);
      S.AddLine(std::string(), TFontStyle::Regular);  // open: ends the line, no blank
      S.AddLine("green", TFontStyle::Regular, TTextColor(0, 128, 0));
      S.AddLine("still green, bold", TFontStyle::Bold);
      S.SetIndented(true);
      S.AddLine("indented", TFontStyle::Regular, TTextColor(255, 0, 0));
      S.SetIndented(false);
      S.AddLine(std::string(), TFontStyle::Regular);  // closed: blank lines
      S.AddLine(std::string(), TFontStyle::Regular);
      S.AddLine("last", TFontStyle::Regular);
    });
    CompareWithRecording(View, Rec);
    QCOMPARE(ViewTexts(&View),
             QStringList({"", "Unit Demo;", "green", "still green, bold", "indented", "", "", "last"}));
  }

  void sampleSummariesMatchRecording_data() {
    QTest::addColumn<int>("Version");
    for (int V : {2, 3, 7, 100, 103}) QTest::newRow(qPrintable(QString::number(V))) << V;
  }
  void sampleSummariesMatchRecording() {
    QFETCH(int, Version);
    QString Path = QStringLiteral("%1/Demo%2.dcu").arg(SampleDir()).arg(Version);
    QTextEdit View;
    TJX_RichEditSink Qt(&View);
    TJX_RecordingSink Rec;
    QVERIFY(LoadAndSummarize(Path.toStdString(), Qt).Written);
    QVERIFY(LoadAndSummarize(Path.toStdString(), Rec).Written);
    CompareWithRecording(View, Rec);
    // Written once, then scrolled back to the start with nothing selected.
    QCOMPARE(View.textCursor().position(), 0);
    QVERIFY(!View.textCursor().hasSelection());
  }

  void errorBlockMatchesRecording() {
    QTemporaryDir Dir;
    std::vector<uint8_t> Bytes = unitbuilder::MinimalUnit(7);
    Bytes.resize(Bytes.size() / 2);
    QString Path = WriteFile(Dir, QStringLiteral("Half.dcu"), Bytes);
    QTextEdit View;
    TJX_RichEditSink Qt(&View);
    TJX_RecordingSink Rec;
    QVERIFY(!LoadAndSummarize(Path.toStdString(), Qt).Error.empty());
    QVERIFY(!LoadAndSummarize(Path.toStdString(), Rec).Error.empty());
    CompareWithRecording(View, Rec);
  }
};

VIEWER_TEST(TestRichEditSink);
#include "test_richedit.moc"
