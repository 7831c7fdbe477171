// The code listing as JSON (see CodeJson.h).
#include "CodeJson.h"

void WriteRoutineJson(const TCodeRoutine& R, TJsonWriter& J) {
  const TCodeRoutineHead& H = R.Head;
  J.BeginObject();
  J.Number("declOffset", H.DeclOffset);
  J.Key("fixups");
  J.BeginArray(TJsonLayout::FlatItems);
  for (const TCodeFixup& F : R.Fixups) {
    J.BeginObject();
    J.String("kind", F.KindName);
    J.Number("offset", F.Offset);
    J.String("target", F.Target);
    J.EndObject();
  }
  J.EndArray();
  J.Key("items");
  J.BeginArray(TJsonLayout::FlatItems);
  for (const TCodeItem& It : R.Items) {
    J.BeginObject();
    J.String("kind", It.Kind == TCodeItemKind::Insn ? "insn" : "data");
    J.Number("offset", It.Offset);
    J.Number("size", It.Size);
    J.String("text", R.ItemText(It));
    J.EndObject();
  }
  J.EndArray();
  J.Key("labels");
  J.BeginArray(TJsonLayout::FlatItems);
  for (const TCodeLabel& L : R.Labels) {
    J.BeginObject();
    J.String("name", L.Name);
    J.Number("offset", L.Offset);
    J.EndObject();
  }
  J.EndArray();
  J.Key("lines");
  J.BeginArray(TJsonLayout::FlatItems);
  for (const TCodeLine& L : R.Lines) {
    J.BeginObject();
    if (!L.File.empty()) J.String("file", L.File);
    J.Number("line", L.Line);
    J.Number("offset", L.Offset);
    if (L.HasSource) J.String("source", L.Source);
    J.EndObject();
  }
  J.EndArray();
  J.String("name", H.QualifiedName);
  J.Number("offset", H.Offset);
  if (H.PieceSize != H.Size) J.Number("pieceSize", H.PieceSize);
  J.String("role", RoutineRoleName(H.Role));
  J.Number("size", H.Size);
  J.EndObject();
}

size_t WriteCodeJson(const TCodeLister& L, TJsonWriter& J, const std::function<bool(const TCodeRoutineHead&)>& Want) {
  J.BeginArray();
  const size_t N = L.ForEach(Want, [&J](const TCodeRoutine& R) { WriteRoutineJson(R, J); });
  J.EndArray();
  return N;
}
