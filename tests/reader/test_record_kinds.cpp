// Record kinds and the record factory: every record read answers the kind of
// one class of the list and belongs to exactly the classes that class derives
// from (IsA against the class tree), over the sample units and the corpus; and
// which tag opens which record in a list of each scope.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "DCURecs.h"
#include "DCU_Stream.h"
#include "ReaderTestUtil.h"
#include "SampleUnits.h"
#include "TestData.h"

namespace {

// Every record of a unit, found through the classes' own links: the
// declarations with their nested chains, the type table with the member
// lists and enumeration constants, the used units with their imports.
class TRecordWalk {
 public:
  explicit TRecordWalk(const TUnit& U) {
    Chain(U.Decls);
    for (const TBaseDef* D : U.TypeTable) One(D);
    for (const auto& Used : U.UsedUnits) {
      One(Used->UnitDef.get());
      Chain(Used->ImportChain);
    }
  }
  std::vector<const TDCURec*> Records;

 private:
  void Chain(const TDCURec* R) {
    for (; R; R = R->Next) One(R);
  }
  void One(const TDCURec* R) {
    if (!R || !Seen.insert(R).second) return;
    Records.push_back(R);
    if (auto* P = RecCast<TProcDecl>(R)) {
      Chain(P->Params);
      Chain(P->Locals);
      Chain(P->Embedded);
    }
    if (auto* D = RecCast<TRecBaseDef>(R)) Chain(D->Fields);
    if (auto* E = RecCast<TEnumDef>(R); E && E->NameList && !E->NameList->empty())
      Chain((*E->NameList)[0]);
  }
  std::set<const TDCURec*> Seen;
};

// What is wrong with the kind of R and its place in the classes ("" if
// nothing): the kind is one of the list, and IsA holds for exactly the
// classes that the class of that kind derives from.
std::string KindFaults(const TDCURec* R) {
  if (static_cast<size_t>(R->RecKind()) >= RecKindCount) return "a record answers no kind of the list\n";
  std::string Faults;
  VisitRecord(*R, [&](const auto& Own) {
    using TOwn = std::remove_cvref_t<decltype(Own)>;
#define CHECK_CLASS(Class)                                 \
  if (IsA<Class>(R) != std::is_base_of_v<Class, TOwn>)     \
    Faults += std::string(RecKindName(R->RecKind())) + ": IsA<" #Class "> is wrong\n";
#define CHECK_KIND_CLASS(Kind, Class) CHECK_CLASS(Class)
    UNITPEEK_RECORD_CLASSES(CHECK_KIND_CLASS, CHECK_CLASS)
#undef CHECK_KIND_CLASS
#undef CHECK_CLASS
  });
  return Faults;
}

// Checks every record of U; adds the kinds met to Met.
void CheckUnit(const TUnit& U, std::set<TRecKind>& Met, std::string& Faults) {
  for (const TDCURec* R : TRecordWalk(U).Records) {
    Met.insert(R->RecKind());
    Faults += KindFaults(R);
  }
}

}  // namespace

TEST(RecordKinds, EveryKindHasItsOwnName) {
  std::set<std::string_view> Names;
  for (size_t K = 0; K < RecKindCount; ++K) Names.insert(RecKindName(static_cast<TRecKind>(K)));
  EXPECT_EQ(Names.size(), RecKindCount);
  EXPECT_EQ(Names.count(""), 0u);
  EXPECT_EQ(RecKindName(TRecKind::VarDecl), "VarDecl");
  EXPECT_EQ(RecKindName(NoRecord), "");
}

TEST(RecordKinds, EveryRecordOfTheSampleUnitsIsOfItsClassesOnly) {
  std::set<TRecKind> Met;
  std::string Faults;
  for (int V : unitbuilder::AllVersions()) {
    auto U = readertest::Load(unitbuilder::DemoUnit(V));
    CheckUnit(*U, Met, Faults);
  }
  EXPECT_EQ(Faults, "");
  EXPECT_GE(Met.size(), 9u);
}

TEST(RecordKinds, EveryRecordOfTheCorpusIsOfItsClassesOnly) {
  const auto Dir = testdata::CorpusDir();
  if (!std::filesystem::is_directory(Dir)) GTEST_SKIP() << "no corpus at " << Dir << "; skipped";
  std::set<TRecKind> Met;
  std::string Faults;
  for (const char* Version : {"v2", "v3", "v4", "v5", "v6", "v7"}) {
    for (const auto& P : testdata::FilesIn(Dir / Version)) {
      TJXUnit U(P.string());
      CheckUnit(U, Met, Faults);
    }
  }
  EXPECT_EQ(Faults, "");
  std::cout << "[kinds] " << Met.size() << " of " << RecKindCount << " kinds met in the corpus\n";
  EXPECT_GE(Met.size(), 30u);
}

// Which record each tag byte opens in a list of each scope, written out by
// the tag bytes of the format.
TEST(RecordKinds, WhichTagOpensWhichRecordInWhichScope) {
  const TDeclScope Scopes[] = {dsUnit,  dsProcLocals, dsProcTypeParams, dsEmbedded,
                               dsRecord, dsClass,      dsInterface,      dsDispInterface};
  auto Expected = [](unsigned Tag, TDeclScope S) {
    const bool ProcList = S == dsProcLocals || S == dsProcTypeParams;
    switch (Tag) {
      case 0x20: return ProcList ? TRecKind::LocalDecl : TRecKind::VarDecl;
      case 0x21: case 0x22: case 0x23: case 0x2C: return TRecKind::LocalDecl;
      case 0x24: return S == dsUnit ? TRecKind::AbsVarDecl : TRecKind::LocalDecl;
      case 0x25: return TRecKind::ConstDecl;
      case 0x26: return TRecKind::TypePDecl;
      case 0x27: return TRecKind::VarCDecl;
      case 0x28: return TRecKind::ProcDecl;
      case 0x29: return TRecKind::SysProcDecl;
      case 0x2A: return TRecKind::TypeDecl;
      case 0x2B: return TRecKind::LabelDecl;
      case 0x2D: case 0x2E: case 0x2F: return TRecKind::MethodDecl;
      case 0x30: return S == dsDispInterface ? TRecKind::DispPropDecl : TRecKind::PropDecl;
      case 0x31: return TRecKind::ThreadVarDecl;
      case 0x32: return TRecKind::ResStrDef;
      case 0x69: return TRecKind::ExportDecl;
      case 0x9A: return TRecKind::SetDeftInfo;
      default: return NoRecord;
    }
  };
  std::string Faults;
  for (TDeclScope S : Scopes) {
    for (unsigned Tag = 0; Tag < 256; ++Tag) {
      const TRecKind Got = DeclRecTable[S][Tag];
      if (Got != Expected(Tag, S))
        Faults += "scope " + std::to_string(S) + ", tag " + std::to_string(Tag) + ": " +
                  std::string(RecKindName(Got)) + "\n";
      if (Got != DeclRecKind(TagAction(static_cast<uint8_t>(Tag)), S)) Faults += "table differs\n";
    }
  }
  EXPECT_EQ(Faults, "");
}
