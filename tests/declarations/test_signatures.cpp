// Parameters and types as a source writes them, in the listing, the JSON and
// the unit skeleton: modes by the parameter's flags, untyped and open-array
// parameters, array of const, defaults from the nameless constants after
// the parameters, dynamic arrays; and the skeleton's implementation, where
// every routine has a body and repeats no default.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "DCURecs.h"
#include "DCU_Unit.h"
#include "DeclJsonTestUtil.h"
#include "DeclListing.h"
#include "DeclSkeleton.h"
#include "UnitBuilder.h"

using unitbuilder::UnitBuilder;

namespace {

std::vector<uint8_t> SignaturesUnit() {
  using B_ = UnitBuilder;
  UnitBuilder B(7);
  B.Header().SourceFile("Sigs.pas");
  B.Uses(0x64, "System").ImpType("Integer").ImpType("TVarRec").EndEntry();  // types 1, 2
  B.RangeDef(0, -1);                                                          // 3: the empty range
  B.TypeDefHead(0x4C).Byte(0).PackedUInt(3).PackedUInt(1);                    // 4: array[0..-1] of Integer
  B.TypeDefHead(0x4C).Byte(0).PackedUInt(3).PackedUInt(2);                    // 5: array[0..-1] of TVarRec
  B.VoidDef();                                                                // 6
  B.TypeDefHead(0x45).PackedUInt(4).TypeDecl("TInts", 7);                     // 7: ^array[0..-1] of Integer
  B.ProcStart("Run", 0x10, 0x40, 6);
  B.Local(0x21, "A", 1).Local(0x22, "B", 1).Local(0x21, "C", 1, 0, B_::ConstParamFlags);
  B.Local(0x22, "D", 1, 0, B_::OutParamFlags).Local(0x22, "Buf", 6).Local(0x22, "Data", 6, 0, B_::ConstParamFlags);
  B.Local(0x22, "Items", 4, 0, B_::ConstParamFlags).Local(0x21, ".", 1);
  B.Local(0x22, "Args", 5, 0, B_::ConstParamFlags).Local(0x21, ".", 1);
  B.Local(0x21, "Flag", 1).ConstDecl(".", 1, 7, 0).Local(0x20, "I", 1).Stop();
  B.DataBlock(0).TrivialFixups().Stop();
  return B.Finish();
}

TDeclOutline SignaturesOutline() {
  std::vector<uint8_t> Bytes = SignaturesUnit();
  TUnit U("Sigs.dcu", std::span<const uint8_t>(Bytes));
  return BuildDeclOutline(U);
}

}  // namespace

TEST(DeclSignatures, ListingWritesModesShapesAndDefaultsAsTheSource) {
  TDeclTextSink S;
  WriteDeclListing(SignaturesOutline(), S);
  EXPECT_NE(S.Out.find("  TInts = array of Integer;\n"), std::string::npos) << S.Out;
  EXPECT_NE(S.Out.find("procedure Run(A: Integer; var B: Integer; const C: Integer; out D: Integer; var Buf; "
                       "const Data; const Items: array of Integer; const Args: array of const; "
                       "Flag: Integer = 7);\n"),
            std::string::npos)
      << S.Out;
}

TEST(DeclSignatures, JsonCarriesConstOutAndTheDefault) {
  const nlohmann::json J = DeclsJson(SignaturesOutline());
  nlohmann::json Params;
  for (const auto& E : J["interface"])
    if (E["name"] == "Run") Params = E["params"];
  ASSERT_EQ(Params.size(), 9u) << J.dump();
  EXPECT_EQ(Params[2]["mode"], "const");
  EXPECT_EQ(Params[3]["mode"], "out");
  EXPECT_EQ(Params[4]["type"], "");
  EXPECT_EQ(Params[7]["type"], "array of const");
  EXPECT_EQ(Params[8]["default"], 7);
  EXPECT_FALSE(Params[7].contains("default"));
}

TEST(DeclSignatures, SkeletonGivesEveryRoutineABodyWithItsLocals) {
  TDeclTextSink S;
  WriteDeclSkeleton(SignaturesOutline(), S);
  const std::string& P = S.Out;
  EXPECT_EQ(P.rfind("unit Sigs;\n\ninterface\n\n", 0), 0u) << P;
  const size_t Impl = P.find("\nimplementation\n");
  ASSERT_NE(Impl, std::string::npos) << P;
  // The declaration keeps the default, the implementation's heading does not.
  EXPECT_LT(P.find("Flag: Integer = 7);\n"), Impl);
  EXPECT_NE(P.find("const Args: array of const; Flag: Integer);\nvar\n  I: Integer;\nbegin\nend;\n", Impl),
            std::string::npos)
      << P;
  EXPECT_EQ(P.find("uses"), std::string::npos) << "System is never named";
  EXPECT_EQ(P.substr(P.size() - 5), "end.\n");
}

namespace {

// A typed constant of the runtime's POleStr (Windows): a pointer to a
// literal of two-byte characters that a fixup names.
std::vector<uint8_t> WideNameUnit(uint32_t ConstNo, uint32_t LiteralNo) {
  UnitBuilder B(7);
  B.Header().SourceFile("Wide.pas");
  B.Uses(0x64, "Windows").ImpType("POleStr").EndEntry();  // type 1
  B.VarDecl("SZ_URLCONTEXT", 1, 0, 0x40, 0x27);
  B.NoBodyProc("", 12);
  const std::vector<uint8_t> D = {0, 0, 0, 0, 'U', 0, 'R', 0, 'L', 0, ' ', 0, 'C', 0, 0, 0};
  B.Byte(0x6C).PackedUInt(static_cast<uint32_t>(D.size())).Raw(D);
  B.Fixups({{0, 6, ConstNo}, {0, 1, LiteralNo}, {4, 6, LiteralNo}, {12, 6, 0}}).Stop();
  return B.Finish();
}

}  // namespace

TEST(DeclSignatures, APointerOfTheRuntimesWideNamesReadsItsLiteralAsWideCharacters) {
  std::vector<uint8_t> Draft = WideNameUnit(0, 0);
  uint32_t ConstNo = 0, LiteralNo = 0;
  {
    TUnit U("Wide.dcu", std::span<const uint8_t>(Draft));
    for (size_t I = 0; I < U.DeclTable.size(); ++I)
      if (auto* D = RecCast<TNameDecl>(U.DeclTable[I]))
        (NameView(D->GetName()).empty() ? LiteralNo : ConstNo) = static_cast<uint32_t>(I + 1);
  }
  std::vector<uint8_t> Bytes = WideNameUnit(ConstNo, LiteralNo);
  TUnit U("Wide.dcu", std::span<const uint8_t>(Bytes));
  TDeclTextSink S;
  WriteDeclListing(BuildDeclOutline(U), S);
  EXPECT_NE(S.Out.find("SZ_URLCONTEXT: POleStr = 'URL C';"), std::string::npos) << S.Out;
}
