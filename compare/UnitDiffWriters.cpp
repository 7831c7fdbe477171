// The comparison of two units as text and as JSON (see UnitDiffWriters.h).
#include "UnitDiffWriters.h"

#include <ostream>

#include "DCU_Text.h"
#include "JsonWriter.h"

namespace {

void Facts(const TUnitDiff& D, std::ostream& Out) {
  if (D.Facts.empty()) return;
  Out << "\nFacts\n";
  for (const TDiffFact& F : D.Facts)
    Out << "  " << F.What << ": " << (F.Before.empty() ? "(none)" : F.Before) << " -> "
        << (F.After.empty() ? "(none)" : F.After) << "\n";
}

void Decls(const TUnitDiff& D, std::ostream& Out) {
  if (D.Decls.empty()) return;
  Out << "\nDeclarations\n";
  for (const TDiffDecl& X : D.Decls) {
    Out << "  " << X.Section << " " << DiffKindName(X.Kind) << " " << X.What << " " << X.Name << "\n";
    if (!X.Before.empty()) Out << "    - " << X.Before << "\n";
    if (!X.After.empty()) Out << "    + " << X.After << "\n";
  }
}

void Code(const TUnitDiff& D, std::ostream& Out) {
  if (D.Code.empty()) return;
  Out << "\nCode\n";
  for (const TDiffRoutine& R : D.Code) {
    Out << "  " << DiffKindName(R.Kind) << " " << R.Name << "\n";
    for (const std::string& L : R.Lines) Out << "    " << L << "\n";
  }
}

}  // namespace

void WriteUnitDiffText(const TUnitDiff& D, std::ostream& Out) {
  Out << "--- " << DisplayUtf8(D.PathA) << "\n+++ " << DisplayUtf8(D.PathB) << "\n";
  if (!D.ErrorA.empty()) Out << "\n" << DisplayUtf8(D.PathA) << ": " << DisplayUtf8(D.ErrorA) << "\n";
  if (!D.ErrorB.empty()) Out << "\n" << DisplayUtf8(D.PathB) << ": " << DisplayUtf8(D.ErrorB) << "\n";
  if (!D.Loaded()) return;
  if (D.Same()) {
    Out << "\nNo difference in the facts, the declarations or the code.\n";
    return;
  }
  Facts(D, Out);
  Decls(D, Out);
  Code(D, Out);
}

void WriteUnitDiffJson(const TUnitDiff& D, std::ostream& Out) {
  TJsonWriter J([&Out](std::string_view B) { Out.write(B.data(), static_cast<std::streamsize>(B.size())); });
  J.BeginObject();
  J.String("a", DisplayUtf8(D.PathA));
  J.String("b", DisplayUtf8(D.PathB));
  if (!D.ErrorA.empty()) J.String("errorA", DisplayUtf8(D.ErrorA));
  if (!D.ErrorB.empty()) J.String("errorB", DisplayUtf8(D.ErrorB));
  J.Bool("same", D.Same());
  J.Key("facts");
  J.BeginArray();
  for (const TDiffFact& F : D.Facts) {
    J.BeginObject(TJsonLayout::Flat);
    J.String("what", F.What);
    J.String("before", F.Before);
    J.String("after", F.After);
    J.EndObject();
  }
  J.EndArray();
  J.Key("decls");
  J.BeginArray();
  for (const TDiffDecl& X : D.Decls) {
    J.BeginObject(TJsonLayout::Flat);
    J.String("change", DiffKindName(X.Kind));
    J.String("section", X.Section);
    J.String("kind", X.What);
    J.String("name", X.Name);
    J.String("before", X.Before);
    J.String("after", X.After);
    J.EndObject();
  }
  J.EndArray();
  J.Key("code");
  J.BeginArray();
  for (const TDiffRoutine& R : D.Code) {
    J.BeginObject(TJsonLayout::Flat);
    J.String("change", DiffKindName(R.Kind));
    J.String("name", R.Name);
    J.Key("lines");
    J.BeginArray();
    for (const std::string& L : R.Lines) J.String(L);
    J.EndArray();
    J.EndObject();
  }
  J.EndArray();
  J.EndObject();
  J.Flush();
  Out << "\n";
}
