// The declarations outline, listing and JSON of a synthetic unit that holds
// every kind of declaration and type definition.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <span>

#include "DCURecs.h"
#include "DCU_Text.h"
#include "DCU_Unit.h"
#include "DeclJsonTestUtil.h"
#include "DeclListing.h"
#include "OutlineNamesCompare.h"
#include "UnitBuilder.h"

using unitbuilder::UnitBuilder;

namespace {

// Declaration numbers by name, taken from a first load of the same bytes.
using TNumbers = std::map<std::string, uint32_t>;

std::vector<uint8_t> KindsUnit(TNumbers N) {
  UnitBuilder B(7);
  B.Header().SourceFile("Kinds.pas");
  B.Uses(0x64, "System").ImpType("Integer").EndEntry();  // type 1
  B.EnumDef(0, 2);                                      // 2
  B.ConstDecl("Red", 2, 0).ConstDecl("Green", 2, 1).ConstDecl("Blue", 2, 2).TypeDecl("TColor", 2);
  B.RangeDef(1, 9).TypeDecl("TDigit", 3);                                         // 3
  B.RangeDef(0, 1, 0x41).TypeDecl("TFlag", 4);                                    // 4
  B.RangeDef('a', 'z', 0x42).TypeDecl("TLower", 5);                               // 5
  B.TypeDefHead(0x4A).Byte(0).PackedUInt(2).TypeDecl("TColors", 6);              // 6
  B.TypeDefHead(0x45).PackedUInt(3).TypeDecl("PDigit", 7);                       // 7
  B.TypeDefHead(0x4C).Byte(0).PackedUInt(3).PackedUInt(1).TypeDecl("TDigits", 8);  // 8
  B.TypeDefHead(0x4B, 0, 11).Byte(0).PackedUInt(0).PackedUInt(0).TypeDecl("TName", 9);  // 9
  B.TypeDefHead(0x52).Byte(0).PackedUInt(0).PackedUInt(1).TypeDecl("TInts", 10);  // 10
  B.TypeDefHead(0x4F).PackedUInt(1).TypeDecl("TIntFile", 11);                    // 11
  B.TypeDefHead(0x50).TypeDecl("TLog", 12);                                      // 12
  B.TypeDefHead(0x49, 0, 8).Byte(0).TypeDecl("TReal8", 13);                      // 13
  B.TypeDefHead(0x53).Byte(0).TypeDecl("TVar", 14);                              // 14
  // A record (15) with an anonymous record (16) inside.
  B.TypeDefHead(0x4D).Byte(0).Local(0x2C, "F", 1);
  B.TypeDefHead(0x4D).Byte(0).Local(0x2C, "X", 1).Stop();
  B.Local(0x2C, "Inner", 16).Stop().TypeDecl("TRec", 15);
  B.VoidDef();  // 17
  // procedure(Sender: Integer; var Done: TFlag) of object; stdcall   (18)
  B.TypeDefHead(0x48).PackedUInt(0x10).PackedUInt(17).Byte(0x83).Byte(0x6A);
  B.Local(0x21, "Sender", 1).Local(0x22, "Done", 4).Stop().TypeDecl("TNotify", 18);
  // class(TObjectless, IThing): field, method, constructor, destructor, property   (19)
  B.TypeDefHead(0x46, 0, 8).PackedUInt(0).PackedUInt(0).PackedInt(8).PackedUInt(0).PackedUInt(0);
  B.PackedUInt(0).PackedUInt(0).Byte(0).PackedInt(1).PackedUInt(21).PackedUInt(0);
  B.Local(0x2C, "FCount", 1, 4);
  B.Byte(0x2D).Name("GetCount").PackedUInt(0).PackedUInt(0).PackedUInt(N["TThing.GetCount"]).PackedUInt(0);
  B.Byte(0x2E).Name("Create").PackedUInt(0).PackedUInt(0).PackedUInt(N["TThing.Create"]).PackedUInt(0);
  B.Byte(0x2F).Name("Destroy").PackedUInt(0).PackedUInt(0).PackedUInt(0).PackedUInt(0);
  B.Byte(0x30).Name("Count").PackedInt(0).PackedUInt(1).PackedInt(0).PackedInt(3);
  B.PackedUInt(N["FCount"]).PackedUInt(N["GetCount"]).PackedUInt(0).PackedInt(5);
  B.Byte(0x30).Name("Caption").PackedInt(0).PackedUInt(0).PackedInt(0).PackedInt(INT32_MIN);
  B.PackedUInt(0).PackedUInt(0).PackedUInt(0).PackedInt(INT32_MIN);
  B.Stop().TypeDecl("TThing", 19);
  B.TypeDefHead(0x47).PackedUInt(19).PackedUInt(0).TypeDecl("TThingClass", 20);  // 20
  // interface with a GUID and a method (21); dispinterface with a property (22)
  B.TypeDefHead(0x54).PackedUInt(0).PackedInt(0);
  B.Raw({0x78, 0x56, 0x34, 0x12, 0x34, 0x12, 0x78, 0x56, 1, 2, 3, 4, 5, 6, 7, 8}).Byte(0);
  B.Byte(0x2D).Name("Ping").PackedUInt(0).PackedUInt(0).PackedUInt(0).PackedUInt(3).Stop().TypeDecl("IThing", 21);
  B.TypeDefHead(0x54).PackedUInt(21).PackedInt(0).Fill(16).Byte(4);
  B.Byte(0x30).Name("Level").PackedUInt(0).PackedUInt(1).PackedUInt(2).PackedInt(7).Stop().TypeDecl("DThing", 22);
  // object (23)
  B.TypeDefHead(0x4E).Byte(0).PackedUInt(0).Byte(0).PackedInt(0).Byte(0).Local(0x2C, "V", 1).Stop();
  B.TypeDecl("TOld", 23);
  B.TypeDecl("TInt", 1).TypeDecl(".Hidden", 3);
  // Constants: ordinals of every stored size, named values, raw bytes.
  B.ConstDecl("C1", 1, 5).ConstDecl("C2", 1, 1000).ConstDecl("C3", 1, 100000).ConstDecl("C4", 1, -20000000);
  B.ConstDecl("C5", 1, INT32_MAX);
  B.FHead(0x25, "C9").PackedUInt(1).PackedUInt(0).PackedUInt(0).Packed9(0x89ABCDEF, 0x01234567);
  B.FHead(0x25, "CMin").PackedUInt(1).PackedUInt(0).PackedUInt(0).Packed9(0, 0x80000000);
  B.ConstDecl("Favourite", 2, 1).ConstDecl("Yes", 4, 1).ConstDecl("Letter", 5, 'q');
  B.FHead(0x25, "Pi").PackedUInt(13).PackedUInt(0).PackedUInt(4).Raw({0xDB, 0x0F, 0x49, 0x40});
  B.VarDecl("Table", 8, 0, 0x40, 0x27).VarDecl("SHello", 1, 0, 0x40, 0x32);
  B.VarDecl("Counter", 3).VarDecl("Lost", 999).VarDecl("Alias", 1, N["Counter"], 0x40, 0x24);
  B.VarDecl("Slot", 1, 0, 0x40, 0x31);
  // Routines, method bodies, a routine of the implementation, a label, an export.
  B.ProcStart("Run", 0x10, 0x40, 17).Byte(0x83).Local(0x21, "A", 1).Local(0x22, "B", 3).Stop();
  B.ProcStart("Twice", 0x10, 0x40, 1).Local(0x21, "X", 1).Local(0x23, "Result", 1).Stop();
  B.ProcStart("TThing.GetCount", 4, 0x40, 1).Local(0x21, "Self", 19).Stop();
  B.ProcStart("TThing.Create", 4, 0x40, 17).Local(0x21, "Self", 19).Local(0x21, "AOwner", 1).Stop();
  B.ProcStart("Helper", 4, 0, 17).Stop();
  B.Byte(0x2B).Name("Again").PackedUInt(0);
  B.Byte(0x69).Name("RunIt").PackedUInt(N["Run"]).PackedUInt(3);
  B.DataBlock(0).TrivialFixups().Stop();
  return B.Finish();
}

TDeclOutline KindsOutline() {
  std::vector<uint8_t> Draft = KindsUnit({});
  TNumbers N;
  {
    TUnit U("Kinds.dcu", std::span<const uint8_t>(Draft));
    for (size_t I = 0; I < U.DeclTable.size(); ++I)
      if (auto* D = RecCast<TNameDecl>(U.DeclTable[I])) N[NameText(D->GetName())] = static_cast<uint32_t>(I + 1);
  }
  std::vector<uint8_t> Bytes = KindsUnit(N);
  TUnit U("Kinds.dcu", std::span<const uint8_t>(Bytes));
  return BuildDeclOutline(U);  // the outline outlives the unit
}

// Records the runs: "[k:text@anchor]" for every run that is not plain.
class TRunSink : public TDeclSink {
 public:
  void Run(TDeclRunKind Kind, std::string_view Text, int64_t Anchor) override {
    Plain += Text;
    if (Kind != TDeclRunKind::Plain)
      Marked.push_back({Kind, std::string(Text), Anchor});
  }
  void EndLine() override { Plain += '\n'; }
  std::string Plain;
  struct TMarked {
    TDeclRunKind Kind;
    std::string Text;
    int64_t Anchor;
  };
  std::vector<TMarked> Marked;
};

// The kinds KindsUnit leaves out: an enumeration of 60 names made once by a
// name the compiler made (so written out wherever it is used) and once
// declared, a subrange of that enumeration, a long string, a void type and a
// type number that resolves to nothing.
std::vector<uint8_t> MoreKindsUnit() {
  UnitBuilder B(7);
  B.Header().SourceFile("More.pas");
  B.Uses(0x64, "System").ImpType("Integer").EndEntry();  // type 1
  auto Enum = [&](uint32_t N, std::string_view Prefix, std::string_view Decl) {
    B.EnumDef(0, 59);
    for (int I = 0; I < 60; ++I) B.ConstDecl(std::string(Prefix) + std::to_string(10 + I), N, I);
    B.TypeDecl(Decl, N);
  };
  Enum(2, "Anon", ".Anon");  // 2
  Enum(3, "Big", "TBig");    // 3
  B.EnumDef(1, 2, 3).TypeDecl("TBigPart", 4);                                   // 4
  B.TypeDefHead(0x55).Byte(0).PackedUInt(0).PackedUInt(1).TypeDecl("TWide", 5);  // 5
  B.VoidDef();                                                                   // 6
  B.TypeDecl("TNothing", 6).TypeDecl("TLost", 0);
  B.VarDecl("Pick", 2);
  B.DataBlock(0).TrivialFixups().Stop();
  return B.Finish();
}

TDeclOutline MoreKindsOutline() {
  std::vector<uint8_t> Bytes = MoreKindsUnit();
  TUnit U("More.dcu", std::span<const uint8_t>(Bytes));
  return BuildDeclOutline(U);
}

const TDeclEntry* Find(const TDeclSection& S, std::string_view Name) {
  for (const TDeclBlock& B : S.Blocks)
    for (const TDeclEntry& E : B.Entries)
      if (E.Name == Name) return &E;
  return nullptr;
}

}  // namespace

TEST(DeclOutline, ListsEveryKindAsPascalSource) {
  TRunSink Sink;
  WriteDeclListing(KindsOutline(), Sink);
  const std::string Expected[] = {
      "unit Kinds;\n\ninterface\n\ntype\n",
      "  TColor = (Red, Green, Blue);\n  TDigit = 1..9;\n  TFlag = False..True;\n  TLower = 'a'..'z';\n",
      "  TColors = set of TColor;\n  PDigit = ^TDigit;\n  TDigits = array[TDigit] of Integer;\n",
      "  TName = string[10];\n  TInts = array of Integer;\n  TIntFile = file of Integer;\n  TLog = Text;\n",
      "  TReal8 = {float, 8 bytes};\n  TVar = Variant;\n",
      "  TRec = record\n    F: Integer;\n    Inner: record X: Integer; end;\n  end;\n",
      "  TNotify = procedure(Sender: Integer; var Done: TFlag) of object; stdcall;\n",
      "  TThing = class(IThing)\n  private\n    FCount: Integer;\n    function GetCount: Integer;\n"
      "    constructor Create(AOwner: Integer);\n    destructor Destroy;\n"
      "    property Count: Integer index 3 read FCount write GetCount default 5;\n    property Caption;\n  end;\n",
      "  TThingClass = class of TThing;\n",
      "  IThing = interface\n    ['{12345678-1234-5678-0102-030405060708}']\n    method Ping;\n  end;\n",
      "  DThing = dispinterface(IThing)\n    ['{00000000-0000-0000-0000-000000000000}']\n"
      "    property Level: Integer readonly dispid 7;\n  end;\n",
      "  TOld = object\n  private\n    V: Integer;\n  end;\n  TInt = Integer;\n\nconst\n",
      "  C1 = 5 { Integer };\n  C2 = 1000 { Integer };\n  C3 = 100000 { Integer };\n  C4 = -20000000 { Integer };\n",
      "  C5 = 2147483647 { Integer };\n  C9 = 81985529216486895 { Integer };\n  CMin = -9223372036854775808 { Integer };\n",
      "  Favourite = Green { TColor };\n  Yes = True { TFlag };\n  Letter = 'q' { TLower };\n",
      "  Pi = {4 bytes: DB 0F 49 40} { TReal8 };\n  Table: TDigits = {no value in the data block};\n\n",
      "resourcestring\n  SHello = {no value in the data block};\n\n",
      "var\n  Counter: TDigit;\n  Lost: {#999};\n  Alias: Integer absolute Counter;\n\nthreadvar\n  Slot: Integer;\n\n",
      "procedure Run(A: Integer; var B: TDigit); stdcall;\nfunction Twice(X: Integer): Integer;\n\nimplementation\n\n",
      "function TThing.GetCount: Integer;\nconstructor TThing.Create(AOwner: Integer);\nprocedure Helper;\n\n",
      "label\n  Again;\n\nexports\n  Run name 'RunIt' index 3;\n\nend.\n"};
  size_t At = 0;
  for (const std::string& Part : Expected) {
    size_t Found = Sink.Plain.find(Part, At);
    ASSERT_NE(Found, std::string::npos) << "missing, in order:\n" << Part << "\nin:\n" << Sink.Plain;
    At = Found + Part.size();
  }
  // Runs: keywords, comments, the names defined with their offsets, and type
  // names that link to the declaration of the same unit they name.
  std::map<std::string, int64_t> Defined;
  for (const auto& M : Sink.Marked)
    if (M.Kind == TDeclRunKind::NameDef) Defined.emplace(M.Text, M.Anchor);
  bool LinkedDigit = false, ImportUnlinked = false, KeywordSet = false, CommentLost = false;
  for (const auto& M : Sink.Marked) {
    LinkedDigit |= M.Kind == TDeclRunKind::TypeRef && M.Text == "TDigit" && M.Anchor == Defined["TDigit"];
    ImportUnlinked |= M.Kind == TDeclRunKind::TypeRef && M.Text == "Integer" && M.Anchor == NoAnchor;
    KeywordSet |= M.Kind == TDeclRunKind::Keyword && M.Text == "set";
    CommentLost |= M.Kind == TDeclRunKind::Comment && M.Text == "{#999}";
  }
  EXPECT_TRUE(LinkedDigit && ImportUnlinked && KeywordSet && CommentLost);
  EXPECT_GT(Defined["TDigit"], 0);
  EXPECT_EQ(Defined.count(".Hidden") + Defined.count("Self"), 0u);
}

TEST(DeclOutline, JsonCarriesTheFieldsOfEachKind) {
  TDeclOutline O = KindsOutline();
  nlohmann::json J = DeclsJson(O);
  auto Entry = [&](const char* Section, const char* Name) {
    for (const auto& E : J[Section])
      if (E["name"] == Name) return E;
    return nlohmann::json();
  };
  EXPECT_EQ(Entry("interface", "TColor")["values"], nlohmann::json({"Red", "Green", "Blue"}));
  EXPECT_EQ(Entry("interface", "TColor")["typeKind"], "enum");
  EXPECT_EQ(Entry("interface", "TInt")["typeKind"], "alias");
  EXPECT_EQ(Entry("interface", "TInt")["unit"], "System");
  EXPECT_EQ(Entry("interface", "C9")["value"], 0x0123456789ABCDEFll);
  EXPECT_EQ(Entry("interface", "Pi")["valueBytes"], "DB0F4940");
  EXPECT_EQ(Entry("interface", "Table")["typed"], true);
  EXPECT_EQ(Entry("interface", "Alias")["absolute"], "Counter");
  EXPECT_EQ(Entry("interface", "Run")["params"],
            nlohmann::json::parse(R"([{"name":"A","mode":"value","type":"Integer"},
                                       {"name":"B","mode":"var","type":"TDigit"}])"));
  EXPECT_EQ(Entry("interface", "Run")["callConv"], "stdcall");
  EXPECT_EQ(Entry("interface", "Twice")["result"], "Integer");
  nlohmann::json Thing = Entry("interface", "TThing");
  EXPECT_EQ(Thing["text"], "TThing = class(IThing)");
  ASSERT_EQ(Thing["members"].size(), 6u);
  EXPECT_EQ(Thing["members"][4]["read"], "FCount");
  EXPECT_EQ(Thing["members"][4]["index"], 3);
  EXPECT_EQ(Entry("implementation", "Again")["kind"], "label");
  EXPECT_EQ(Entry("implementation", "RunIt")["target"], "Run");
  const TDeclEntry* Lost = Find(O.Interface, "Lost");
  ASSERT_TRUE(Lost);
  EXPECT_EQ(Lost->Type.Text, "{#999}");
  EXPECT_EQ(Entry("interface", "Lost")["offset"], Lost->Offset);
}

// Only properties carry property parts; a copied outline (and a copied
// member) has parts of its own, equal and independent of the original's,
// and writes the same listing and JSON.
TEST(DeclOutline, PropertyPartsBelongToPropertiesAndAreCopiedWithTheirMember) {
  const TDeclOutline O = KindsOutline();
  const TDeclEntry* Thing = Find(O.Interface, "TThing");
  ASSERT_TRUE(Thing);
  size_t Properties = 0;
  for (const TDeclMember& M : Thing->Members) {
    const bool Prop = M.Kind == TMemberKind::Property;
    Properties += Prop;
    EXPECT_EQ(&M.Property() == &TDeclMember::NoParts(), !Prop) << M.Name;
  }
  ASSERT_GE(Properties, 1u);
  TDeclOutline Copy = O;
  TDeclEntry* CopyThing = nullptr;
  for (TDeclBlock& B : Copy.Interface.Blocks)
    for (TDeclEntry& E : B.Entries)
      if (E.Name == "TThing") CopyThing = &E;
  ASSERT_TRUE(CopyThing);
  TDeclMember& Count = CopyThing->Members[4];
  const TDeclMember& Original = Thing->Members[4];
  ASSERT_EQ(Count.Property().ReadAccess, "FCount");
  EXPECT_NE(&Count.Property(), &Original.Property());
  EXPECT_EQ(DeclsJson(Copy), DeclsJson(O));
  TDeclMember Member = Original;
  Member = Count;  // assigned over a copy of its own
  Count.SetProperty().ReadAccess = "FOther";
  EXPECT_EQ(Original.Property().ReadAccess, "FCount");
  EXPECT_EQ(Member.Property().ReadAccess, "FCount");
  EXPECT_EQ(*Member.Property().Index, 3);
  TDeclMember Moved = std::move(Member);
  EXPECT_EQ(Moved.Property().ReadAccess, "FCount");

  // A dispinterface property keeps its number and access in the member.
  const TDeclEntry* DThing = Find(O.Interface, "DThing");
  ASSERT_TRUE(DThing && DThing->Members.size() == 1);
  const TDeclMember& Level = DThing->Members[0];
  EXPECT_EQ(&Level.Property(), &TDeclMember::NoParts());
  EXPECT_EQ(Level.DispId(), 7);
  EXPECT_EQ(Level.Access(), "readonly");
  EXPECT_FALSE(Count.DispId().has_value());
  EXPECT_EQ(Count.Access(), "");
}

// The parts few entries carry (enumeration names, the target of an absolute
// variable or of an export) are made for those entries alone; the others
// read the one empty set of parts. A copied entry has parts of its own.
TEST(DeclOutline, EntryPartsBelongToTheEntriesThatCarryThemAndAreCopiedWithThem) {
  const TDeclOutline O = KindsOutline();
  const TDeclEntryParts& None = TDeclBox<TDeclEntryParts>::None();
  std::set<std::string> WithParts;
  for (const TDeclSection* S : {&O.Interface, &O.Implementation})
    for (const TDeclBlock& B : S->Blocks)
      for (const TDeclEntry& E : B.Entries)
        if (&E.More() != &None) WithParts.insert(E.Name.str());
  EXPECT_TRUE(WithParts.count("TColor") && WithParts.count("Alias") && WithParts.count("RunIt"));
  EXPECT_FALSE(WithParts.count("TDigit") || WithParts.count("Counter") || WithParts.count("Run"));
  EXPECT_TRUE(None.Values.empty() && None.ExportTarget.empty() && None.ExportIndex == 0);

  const TDeclEntry* Color = Find(O.Interface, "TColor");
  ASSERT_TRUE(Color);
  EXPECT_EQ(Color->Values(), TDeclList<TDeclString>({TDeclString("Red"), TDeclString("Green"), TDeclString("Blue")}));
  TDeclEntry Copy = *Color;
  Copy.SetMore().Values.emplace_back("Cyan");
  EXPECT_EQ(Color->Values().size(), 3u);
  EXPECT_EQ(Copy.Values().size(), 4u);
  Copy = *Color;  // assigned over parts of its own
  EXPECT_EQ(Copy.Values(), Color->Values());
  EXPECT_NE(&Copy.More(), &Color->More());
  const TDeclEntry* RunIt = Find(O.Implementation, "RunIt");
  ASSERT_TRUE(RunIt);
  EXPECT_EQ(RunIt->ExportTarget(), "Run");
  EXPECT_EQ(RunIt->ExportIndex(), 3u);
  EXPECT_TRUE(None.Values.empty() && None.ExportTarget.empty());
}

// A routine's parts (routines, procedural types, methods) and a value's
// (constants) are held by the entries and members that have them; the others
// read the one empty routine and value. Copies carry their own.
TEST(DeclOutline, RoutinesAndValuesBelongToTheirEntriesAndMembersAndAreCopiedWithThem) {
  const TDeclOutline O = KindsOutline();
  const TDeclRoutine& NoRoutine = TDeclBox<TDeclRoutine>::None();
  std::set<std::string> WithRoutine, WithValue;
  for (const TDeclSection* S : {&O.Interface, &O.Implementation})
    for (const TDeclBlock& B : S->Blocks)
      for (const TDeclEntry& E : B.Entries) {
        if (&E.Routine() != &NoRoutine) WithRoutine.insert(E.Name.str());
        if (!E.Value().Empty() || !E.ValueJson().empty()) WithValue.insert(E.Name.str());
        EXPECT_EQ(&E.Routine() != &NoRoutine, E.Routine().Known) << E.Name;
        // The parameter lists take the room of the parameters shown, no more.
        EXPECT_EQ(E.Routine().Params.capacity(), E.Routine().Params.size()) << E.Name;
        for (const TDeclMember& M : E.Members) {
          EXPECT_EQ(M.Routine().Params.capacity(), M.Routine().Params.size()) << M.Name;
          const bool Method = M.Kind == TMemberKind::Method || M.Kind == TMemberKind::Constructor ||
                              M.Kind == TMemberKind::Destructor;
          if (!Method) {
            EXPECT_EQ(&M.Routine(), &NoRoutine) << M.Name;
          }
          if (&M.Routine() != &NoRoutine) WithRoutine.insert(E.Name + "." + M.Name);
        }
      }
  // The destructor names no routine of its own: it has none.
  EXPECT_EQ(WithRoutine,
            std::set<std::string>({"TNotify", "Run", "Twice", "TThing.GetCount", "TThing.Create", "Helper"}));
  for (const char* C : {"C1", "CMin", "Favourite", "Letter", "Pi"}) EXPECT_TRUE(WithValue.count(C)) << C;
  EXPECT_FALSE(WithValue.count("Table") || WithValue.count("SHello") || WithValue.count("Run"));
  EXPECT_TRUE(NoRoutine.Params.empty() && !NoRoutine.Known && NoRoutine.Result.Empty());

  const TDeclEntry* Run = Find(O.Interface, "Run");
  const TDeclEntry* C1 = Find(O.Interface, "C1");
  ASSERT_TRUE(Run && C1);
  TDeclEntry Copy = *Run;
  Copy.SetRoutine().Params.pop_back();
  EXPECT_EQ(Run->Routine().Params.size(), 2u);
  EXPECT_EQ(Copy.Routine().Params.size(), 1u);
  Copy = *C1;  // a value assigned over a routine
  EXPECT_EQ(&Copy.Routine(), &NoRoutine);
  EXPECT_EQ(Copy.Value().Text, C1->Value().Text);
  EXPECT_EQ(Copy.ValueJson(), "5");
  TDeclOutline Whole = O;
  EXPECT_EQ(DeclsJson(Whole), DeclsJson(O));
}

TEST(DeclOutline, WithoutSpansTheTextsAreTheSame) {
  // The command line builds the outline without spans: the listing and the
  // JSON must not change.
  std::vector<uint8_t> Bytes = KindsUnit({});
  TUnit U("Kinds.dcu", std::span<const uint8_t>(Bytes));
  const TDeclOutline With = BuildDeclOutline(U);
  const TDeclOutline Without = BuildDeclOutline(U, TDeclOutlineOptions{.KeepSpans = false});
  TDeclTextSink A, B;
  WriteDeclListing(With, A);
  WriteDeclListing(Without, B);
  EXPECT_EQ(A.Out, B.Out);
  EXPECT_EQ(DeclsJsonText(With), DeclsJsonText(Without));
  for (const TDeclSection* S : {&Without.Interface, &Without.Implementation})
    for (const TDeclBlock& Bl : S->Blocks)
      for (const TDeclEntry& E : Bl.Entries) {
        EXPECT_TRUE(E.Type.Spans.empty() && E.Value().Spans.empty()) << E.Name;
        for (const TDeclMember& M : E.Members) EXPECT_TRUE(M.Type.Spans.empty()) << M.Name;
      }
}

TEST(DeclOutline, JsonEscapesEveryByteWhereverItStands) {
  // Names with a byte to escape at every position around the eight-byte
  // steps of the writer, a long one that outgrows its buffer, and text in
  // pieces handed to the sink.
  TDeclOutline O;
  TDeclBlock& B = O.Interface.Blocks.emplace_back();
  std::vector<std::string> Names;
  for (char Special : {'"', '\\', '\x01', '\x1f', '\x7f'})
    for (size_t Len = 1; Len <= 18; ++Len)
      for (size_t At = 0; At < Len; ++At) {
        std::string N(Len, 'a');
        N[At] = Special;
        Names.push_back(N);
      }
  Names.push_back("caf\xc3\xa9 \xe2\x82\xac");
  Names.push_back(std::string(200000, 'x') + "\"" + std::string(100, '\\'));
  for (int I = 0; I < 3000; ++I) Names.push_back(std::string(400, 'n') + std::to_string(I));
  for (const std::string& N : Names) {
    TDeclEntry& E = B.Entries.emplace_back();
    E.Kind = TDeclKind::Label;
    E.Name = N;
  }
  const std::string Whole = DeclsJsonText(O);
  std::string Pieces;
  int Flushes = 0;
  {
    TJsonWriter J([&](std::string_view Piece) {
      Pieces += Piece;
      ++Flushes;
    });
    WriteDeclsJson(O, J);
  }
  EXPECT_GT(Flushes, 1);
  EXPECT_EQ(Pieces, Whole);
  nlohmann::json J = nlohmann::json::parse(Whole);
  ASSERT_EQ(J["interface"].size(), Names.size());
  for (size_t I = 0; I < Names.size(); ++I) {
    EXPECT_EQ(J["interface"][I]["name"], Names[I]) << I;
    EXPECT_EQ(J["interface"][I]["text"], Names[I]) << I;
  }
  // Escapes as nlohmann::json writes them.
  EXPECT_NE(Whole.find(R"("name":"a\u0001a")"), std::string::npos);
  EXPECT_NE(Whole.find(R"("name":"a\"")"), std::string::npos);
}

TEST(DeclOutline, DisplayTextMarksEveryByteWhereverItStands) {
  // Names are checked for plain ASCII eight bytes at a time, the last
  // word overlapping, shorter ones in pieces: every length, every place.
  const std::pair<char, std::string> Cases[] = {{' ', " "},  {'~', "~"},    {'\0', "^@"},
                                                {'\x1f', "^_"}, {'\x7f', "^?"}, {'\x80', "\xe2\x82\xac"},
                                                {'\xff', "\xc3\xbf"}};
  for (size_t Len = 1; Len <= 20; ++Len)
    for (const auto& [Byte, Shown] : Cases)
      for (size_t At = 0; At < Len; ++At) {
        std::string N(Len, 'b');
        N[At] = Byte;
        const std::string Want = std::string(At, 'b') + Shown + std::string(Len - 1 - At, 'b');
        const std::string Where = std::to_string(static_cast<unsigned char>(Byte)) + " at " + std::to_string(At) +
                                  " of " + std::to_string(Len);
        EXPECT_EQ(DeclDisplayText(N), Want) << Where;
        EXPECT_EQ(DeclDisplayName(N), Want) << Where;
        EXPECT_EQ(DisplayUtf8(N), Want) << Where;
      }
  EXPECT_EQ(DeclDisplayText(""), "");
}

TEST(DeclOutline, EveryTypeKindComesFromItsDefinitionAndKeepsItsName) {
  const std::map<std::string, std::string> Want = {
      {"TColor", "enum"},        {"TDigit", "subrange"},   {"TFlag", "subrange"},   {"TLower", "subrange"},
      {"TColors", "set"},        {"PDigit", "pointer"},    {"TDigits", "array"},    {"TName", "string"},
      {"TInts", "array"},        {"TIntFile", "file"},     {"TLog", "file"},        {"TReal8", "float"},
      {"TVar", "variant"},       {"TRec", "record"},       {"TNotify", "procType"}, {"TThing", "class"},
      {"TThingClass", "classRef"}, {"IThing", "interface"}, {"DThing", "dispinterface"},
      {"TOld", "object"},        {"TInt", "alias"},        {"TBig", "enum"},        {"TBigPart", "subrange"},
      {"TWide", "string"},       {"TNothing", "void"},     {"TLost", "unknown"}};
  std::map<std::string, std::string> Got;
  for (const TDeclOutline& O : {KindsOutline(), MoreKindsOutline()}) {
    const nlohmann::json J = DeclsJson(O);
    TDeclTextSink Listing;
    WriteDeclListing(O, Listing);
    for (const TDeclBlock& Bl : O.Interface.Blocks)
      for (const TDeclEntry& E : Bl.Entries) {
        if (E.Kind != TDeclKind::Type) continue;
        const nlohmann::json* JE = nullptr;
        for (const auto& X : J["interface"])
          if (X["name"] == E.Name) JE = &X;
        ASSERT_TRUE(JE) << E.Name;
        Got[E.Name.str()] = (*JE)["typeKind"];
        // The name leads back to the kind (no two kinds share one).
        size_t Back = 0;
        while (Back < DeclTypeKindTable.size() && DeclTypeKindTable[Back].Name != (*JE)["typeKind"]) ++Back;
        EXPECT_EQ(Back, static_cast<size_t>(E.TypeKind)) << E.Name;
        // Record-like alike in the listing (members up to "end") and the JSON.
        const std::string Head = "\n  " + EntryLine(E).Text;
        const bool Ends = Listing.Out.find(Head + "\n") != std::string::npos;
        EXPECT_EQ(Ends, Listing.Out.find(Head + ";\n") == std::string::npos) << E.Name;
        EXPECT_EQ(Ends, JE->contains("members")) << E.Name;
        EXPECT_EQ(Ends, IsRecordLike(E)) << E.Name;
      }
  }
  EXPECT_EQ(Got, Want);
  // Every kind but None is made by some definition above, so every name
  // leads back to its own kind.
  std::set<std::string> Made;
  for (const auto& [Name, Kind] : Got) Made.insert(Kind);
  for (size_t K = 1; K < DeclTypeKindTable.size(); ++K)
    EXPECT_TRUE(Made.count(std::string(DeclTypeKindTable[K].Name))) << DeclTypeKindTable[K].Name;
}

TEST(DeclOutline, AnAnonymousTypeIsCutInlineButNotWhereItIsDeclared) {
  const TDeclOutline O = MoreKindsOutline();
  const TDeclEntry* Pick = Find(O.Interface, "Pick");
  const TDeclEntry* Big = Find(O.Interface, "TBig");
  ASSERT_TRUE(Pick && Big);
  EXPECT_TRUE(Pick->Type.Text.starts_with("(Anon10, Anon11, ")) << Pick->Type.Text;
  EXPECT_TRUE(Pick->Type.Text.ends_with(", ...)")) << Pick->Type.Text;
  EXPECT_LT(Pick->Type.Text.size(), 420u);
  EXPECT_TRUE(Big->Type.Text.ends_with(", Big68, Big69)")) << Big->Type.Text;
  EXPECT_EQ(Big->Values().size(), 60u);
  EXPECT_EQ(Find(O.Interface, "TBigPart")->Type.Text, "Big11..Big12");
  EXPECT_EQ(EntryLine(*Find(O.Interface, "TWide")).Text, "TWide = array of Integer");
  EXPECT_EQ(EntryLine(*Find(O.Interface, "TNothing")).Text, "TNothing = {void}");
  EXPECT_EQ(EntryLine(*Find(O.Interface, "TLost")).Text, "TLost = {#0}");
}

TEST(DeclOutline, ByNamesAloneKeepsEveryEntryMemberAndKind) {
  for (const std::vector<uint8_t>& Bytes : {KindsUnit({}), MoreKindsUnit()}) {
    TUnit U("Kinds.dcu", std::span<const uint8_t>(Bytes));
    const TDeclOutline Names = BuildDeclOutline(U, {.KeepSpans = false, .NamesOnly = true});
    EXPECT_EQ(outlinetest::CompareNamesOnly(BuildDeclOutline(U), Names), "");
    EXPECT_GT(Names.Interface.EntryCount(), 5u);
  }
}
