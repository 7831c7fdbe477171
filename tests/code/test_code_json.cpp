// A routine's JSON, written straight into the writer's buffer item by item,
// against the same values written member by member through the writer's
// general calls: byte for byte the same, whatever the strings hold.
#include <gtest/gtest.h>

#include <string>

#include "CodeJson.h"
#include "CodeListing.h"
#include "JsonWriter.h"

namespace {

// The routine's object through BeginObject/String/Number, as any value of
// the writer is written.
void WriteRoutineMembers(const TCodeRoutine& R, TJsonWriter& J) {
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

TCodeRoutine Sample(uint32_t Big) {
  TCodeRoutine R;
  R.Head.QualifiedName = "TForm1.Button\"1\"Click";
  R.Head.Offset = 4096 + Big;
  R.Head.Size = 30 + Big;
  R.Head.PieceSize = Big ? 30 : 30 + Big;
  R.Head.DeclOffset = 77;
  const char* Texts[] = {"push ebx", "db 'It''s', 0", "db '\\x', #13, 0", "db '\x01\x1F\"'",
                         "db '\xC3\xA9t\xC3\xA9'", "db '\xFF\xFE bad'", "", "call System.@LStrAsg"};
  uint32_t At = 0;
  for (const char* T : Texts) {
    TCodeItem It;
    It.Offset = At * Big + At;
    It.Size = 1 + At * 7;
    It.Kind = At % 2 ? TCodeItemKind::Data : TCodeItemKind::Insn;
    It.TextStart = static_cast<uint32_t>(R.Text.size());
    R.Text += T;
    It.TextSize = static_cast<uint32_t>(R.Text.size()) - It.TextStart;
    R.Items.push_back(It);
    ++At;
  }
  R.Fixups.push_back({3, 4, 1, "absolute", "Form\\1"});
  R.Fixups.push_back({9 + Big, 0, 6, "kind 9", std::string("a\0b", 3)});
  R.Labels.push_back({12, "@1"});
  R.Labels.push_back({1234567 + Big, "@2"});
  TCodeLine L;
  L.Offset = 0;
  L.Line = 10;  // the first two-digit number
  R.Lines.push_back(L);
  L.Offset = 5 + Big;
  L.Line = -1;
  L.File = "Demo \"inc\".inc";
  L.HasSource = true;
  L.Source = "  S := 'tab\there'; // \xE9";
  R.Lines.push_back(L);
  return R;
}

}  // namespace

TEST(CodeJson, RoutinesWrittenInPlaceAsTheWriterWritesThem) {
  for (uint32_t Big : {0u, 9u, 4000000000u - 30u}) {
    for (int Depth = 0; Depth < 12; Depth += 5) {
      const TCodeRoutine R = Sample(Big);
      std::string Want, Got;
      {
        TJsonWriter A(Want), B(Got);
        for (TJsonWriter* J : {&A, &B}) {
          J->BeginArray();
          for (int K = 0; K < Depth; ++K) J->BeginArray();
        }
        WriteRoutineMembers(R, A);
        WriteRoutineJson(R, B);
        WriteRoutineJson(R, B);
        WriteRoutineMembers(R, A);
        for (TJsonWriter* J : {&A, &B}) {
          for (int K = 0; K < Depth; ++K) J->EndArray();
          J->EndArray();
        }
      }
      EXPECT_EQ(Got, Want) << "depth " << Depth << ", offsets from " << Big;
    }
  }
}
