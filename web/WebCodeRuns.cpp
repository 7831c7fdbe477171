// The Code view's texts (see WebCodeRuns.h).
#include "WebCodeRuns.h"

#include "CodeText.h"
#include "JsonWriter.h"
#include "WebRunLines.h"

void WriteRoutineHeads(const TCodeLister& Lister, std::string& Out) {
  TJsonWriter J(Out, TJsonLayout::Flat);
  J.BeginObject();
  J.Bool("disassembled", Lister.Arch() == TCodeArch::X86_32);
  J.Key("routines");
  J.BeginArray();
  for (const TCodeRoutineHead& H : Lister.AllHeads()) {
    J.BeginObject();
    J.String("name", H.QualifiedName.empty() ? H.Name : H.QualifiedName);
    J.String("role", RoutineRoleName(H.Role));
    J.Number("decl", H.DeclOffset);
    J.Number("owner", H.OwnerDeclOffset);
    J.Number("offset", H.Offset);
    J.Number("size", H.PieceSize);
    J.EndObject();
  }
  J.EndArray();
  J.EndObject();
}

namespace {

class TCodeRuns : public TCodeSink {
 public:
  explicit TCodeRuns(std::string& Out) : L(Out) { StartLine(); }
  void Run(TCodeRunKind Kind, std::string_view Text, int64_t Anchor) override {
    L.Run(static_cast<int>(Kind), Anchor, Text);
  }
  void EndLine() override {
    L.EndLine();
    StartLine();
  }
  void BeginItem(const TCodeRoutine& R, size_t Index) override {
    ItemOffset = int64_t(R.Head.Offset) + R.Items[Index].Offset;
    ItemSize = R.Items[Index].Size;
  }
  void Finish() {
    L.EndLine();
    L.Finish();
  }

 private:
  void StartLine() {
    L.BeginLine();
    L.Number(ItemOffset);
    L.Number(ItemSize);
  }
  TJsonRunLines L;
  int64_t ItemOffset = -1;
  uint32_t ItemSize = 0;
};

}  // namespace

void WriteRoutineRuns(const TCodeRoutine& R, TRoutineHeadings& Headings, std::string& Out) {
  TCodeRuns Runs(Out);
  WriteRoutineListing(R, Runs, Headings.TextOptions());
  Runs.Finish();
}

void WriteCodeText(const TUnit& U, std::string& Out) {
  const TCodeLister Lister(U);
  if (Lister.Arch() != TCodeArch::X86_32)
    Out += "{the machine code of this format version is not known: its pieces are shown as data}\n\n";
  TRoutineHeadings Headings(U);
  const TCodeTextOptions Text = Headings.TextOptions();
  bool First = true;
  Lister.ForEach([&](const TCodeRoutine& R) {
    if (!First) Out += '\n';
    First = false;
    WriteRoutineText(R, Out, Text);
  });
}
