// Folders of units on synthetic folder trees: walking, every finding kind,
// the candidate rule of the interface check, the uses graph and the report
// writers; and the real units of the shared corpus when it is there.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

#include "DCU_Fold.h"
#include "FolderReportWriters.h"
#include "TestData.h"
#include "FolderUnits.h"
#include "UnitBuilder.h"
#include "UnitFactsJson.h"
#include "UnitFolders.h"
#include "UnitLoad.h"
#include "UsesGraph.h"

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

using unitbuilder::TDeclSpec;
using unitbuilder::TImportSpec;
using unitbuilder::TUseSpec;
std::vector<uint8_t> MakeUnit(const std::string& Name, int Version, const std::vector<TUseSpec>& Uses,
                              const std::vector<TDeclSpec>& Decls = {}) {
  return unitbuilder::FolderUnit(Name, Version, Uses, Decls);
}

// A folder tree under the temporary folder, removed with the object. Paths
// handed to the scanner are relative to the tree's root (the working folder
// while a test runs), as a user in that folder would type them.
class TTree {
 public:
  TTree() {
    static int Counter = 0;
    Root = fs::temp_directory_path() /
           ("unitpeek-folders-" + std::to_string(::getpid()) + "-" + std::to_string(++Counter));
    fs::create_directories(Root);
    fs::permissions(Root, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
    Old = fs::current_path();
    fs::current_path(Root);
  }
  ~TTree() {
    fs::current_path(Old);
    std::error_code E;
    for (const auto& P : fs::recursive_directory_iterator(Root, E))
      if (P.is_directory(E)) fs::permissions(P.path(), fs::perms::owner_all, fs::perm_options::add, E);
    fs::remove_all(Root, E);
  }
  void Write(const std::string& Rel, const std::vector<uint8_t>& Bytes) const {
    fs::create_directories((Root / Rel).parent_path());
    unitbuilder::WriteUnitFile((Root / Rel).string(), Bytes);
  }
  fs::path Root, Old;
};

const TFinding* FindingOf(const TFolderReport& R, TFindingKind K, size_t Nth = 0) {
  for (const TFinding& F : R.Findings)
    if (F.Kind == K && Nth-- == 0) return &F;
  return nullptr;
}
size_t CountOf(const TFolderReport& R, TFindingKind K) {
  return static_cast<size_t>(
      std::count_if(R.Findings.begin(), R.Findings.end(), [&](const TFinding& F) { return F.Kind == K; }));
}
std::vector<std::string> PathsOf(const TFolderReport& R, const std::vector<uint32_t>& Files) {
  std::vector<std::string> P;
  for (uint32_t I : Files) P.push_back(R.Units[I].Path);
  return P;
}
std::vector<std::string> NamesOf(const TFolderReport& R, const TFinding& F) {
  std::vector<std::string> N;
  for (uint32_t I : F.Names) N.emplace_back(R.Names.Text(I));
  return N;
}
using TStrings = std::vector<std::string>;

}  // namespace

// The name pool folds and hashes eight bytes a step: names of every length
// across the steps, with capitals, the bytes around 'A'..'Z' and 'a'..'z'
// and bytes from 0x80 up at each place, fold as the letter rule says one
// byte at a time; equal texts share a number, texts that differ in one byte
// anywhere do not, and each is found again by its text.
TEST(Folders, NamePoolFoldsAndFindsNamesOfEveryLength) {
  TNamePool Pool;
  const std::string Odd = "AZaz@[`{\x80\xC0\xDA\xFF";
  std::vector<std::pair<std::string, uint32_t>> Kept;
  for (size_t Len = 0; Len <= 33; ++Len)
    for (size_t At = 0; At < std::max<size_t>(Len, 1); ++At)
      for (char C : Odd) {
        std::string S;
        for (size_t I = 0; I < Len; ++I) S += "mIxEdCaSe_9"[(I + Len) % 11];
        if (Len) S[At] = C;
        std::string Lower = S;
        for (char& L : Lower) L = static_cast<char>(FoldLower(static_cast<unsigned char>(L)));
        const uint32_t Id = Pool.Add(S);
        ASSERT_EQ(Pool.Text(Id), S);
        ASSERT_EQ(Pool.Text(Pool.Folded(Id)), Lower) << testing::PrintToString(S);
        ASSERT_EQ(Pool.AddFolded(S), Pool.Folded(Id));
        ASSERT_EQ(Pool.AddFolded(Lower), Pool.Folded(Id));
        Kept.emplace_back(S, Id);
      }
  // Every text again: the same number, found by Lookup; distinct texts,
  // distinct numbers.
  std::set<std::string> Distinct;
  for (const auto& [S, Id] : Kept) {
    ASSERT_EQ(Pool.Add(S), Id);
    ASSERT_EQ(Pool.Lookup(S), Id);
    // The hash kept with the number is the text's, and finds it.
    ASSERT_EQ(Pool.HashOf(Id), TNamePool::HashOf(S));
    ASSERT_EQ(Pool.Lookup(S, Pool.HashOf(Id)), Id);
    Distinct.insert(S);
  }
  std::set<std::string> Lowers;
  for (const std::string& S : Distinct) {
    std::string L = S;
    for (char& C : L) C = static_cast<char>(FoldLower(static_cast<unsigned char>(C)));
    Lowers.insert(L);
  }
  std::set<std::string> AllTexts(Distinct);
  AllTexts.insert(Lowers.begin(), Lowers.end());
  EXPECT_EQ(Pool.Size(), AllTexts.size());
  EXPECT_EQ(Pool.Lookup("not in the pool at all"), TNamePool::NotFound);
  EXPECT_EQ(Pool.Lookup(std::string("mIxEdCaSe_9mIxEdC") + '\0'), TNamePool::NotFound);
}

// Two names whose hashes in the pool are equal (found by search; should the
// hash change, the test still checks that the names are told apart): both
// kept, each under its own number, with or without capitals, whichever
// comes first.
constexpr const char* CollideA = "collide_0070731";
constexpr const char* CollideB = "collide_0100201";

TEST(Folders, NamePoolTellsApartNamesOfEqualHash) {
  for (bool AFirst : {true, false}) {
    TNamePool Pool;
    const uint32_t First = Pool.Add(AFirst ? CollideA : CollideB);
    const uint32_t A = Pool.Add(CollideA), B = Pool.Add(CollideB);
    EXPECT_EQ(First, AFirst ? A : B);
    ASSERT_NE(A, B);
    EXPECT_EQ(Pool.Text(A), CollideA);
    EXPECT_EQ(Pool.Text(B), CollideB);
    EXPECT_EQ(Pool.Lookup(CollideA), A);
    EXPECT_EQ(Pool.Lookup(CollideB), B);
    EXPECT_EQ(Pool.Lookup(CollideB, Pool.HashOf(A)), Pool.HashOf(A) == Pool.HashOf(B) ? B : TNamePool::NotFound);
    EXPECT_EQ(Pool.AddFolded("COLLIDE_0070731"), A);
    EXPECT_EQ(Pool.AddFolded("Collide_0100201"), B);
    EXPECT_EQ(Pool.Size(), 2u);
    // Folded first, then the spellings with capitals.
    TNamePool Folded;
    const uint32_t FB = Folded.AddFolded("COLLIDE_0100201"), FA = Folded.AddFolded("CoLLiDe_0070731");
    ASSERT_NE(FA, FB);
    EXPECT_EQ(Folded.Text(FA), CollideA);
    EXPECT_EQ(Folded.Text(FB), CollideB);
    EXPECT_EQ(Folded.Folded(Folded.Add("Collide_0070731")), FA);
  }
}

// The interface check with one name declared several times (its stamps in
// any order, under any letter case, the agreeing one first, in the middle or
// last), other units declaring the imported names, and names of equal hash:
// an import agrees with any declaration of its name in the candidate, and
// only the candidate's own declarations count.
TEST(Folders, InterfaceCheckWithSeveralDeclarationsOfOneName) {
  TTree T;
  T.Write("l/Lib.dcu", MakeUnit("Lib", 7, {},
                                {{"Zeta", 7}, {"Run", 3}, {"Alpha", 1}, {"RUN", 1}, {"run", 2}, {CollideA, 5}}));
  // Declares Stop and Run with the stamps the importers look for, but is no
  // unit they use.
  T.Write("l/Other.dcu", MakeUnit("Other", 7, {}, {{"Stop", 6}, {"Run", 4}, {CollideB, 6}}));
  for (uint32_t S : {1u, 2u, 3u})
    T.Write("l/Good" + std::to_string(S) + ".dcu",
            MakeUnit("Good" + std::to_string(S), 7, {{"Lib", {{"rUn", S}, {"Stop", 6}, {"Zeta", 7}}}}));
  T.Write("l/Bad.dcu", MakeUnit("Bad", 7,
                                {{"Lib", {{"Run", 4}, {"Alpha", 1}, {"COLLIDE_0070731", 6}, {"Collide_0100201", 6}}}}));
  // Imports from Lib only the name whose hash Lib's CollideA has: Lib does
  // not declare it, so there is nothing to compare.
  T.Write("l/Near.dcu", MakeUnit("Near", 7, {{"Lib", {{"COLLIDE_0100201", 9}}}}));
  TFolderReport R = ScanFolders({"l"});

  ASSERT_EQ(CountOf(R, TFindingKind::InterfaceMismatch), 1u);
  const TFinding* F = FindingOf(R, TFindingKind::InterfaceMismatch);
  EXPECT_EQ(R.Units[F->File].Path, "l/Bad.dcu");
  EXPECT_EQ(PathsOf(R, R.FilesOf(*F)), (TStrings{"l/Lib.dcu"}));
  // Run 4 is Other's, Collide_0100201 is not Lib's (so not compared).
  EXPECT_EQ(NamesOf(R, *F), (TStrings{"Run", "COLLIDE_0070731"}));

  // The findings computed again over the same units give the same.
  ComputeFindings(R);
  ASSERT_EQ(CountOf(R, TFindingKind::InterfaceMismatch), 1u);
  EXPECT_EQ(NamesOf(R, *FindingOf(R, TFindingKind::InterfaceMismatch)), (TStrings{"Run", "COLLIDE_0070731"}));
}

// Declaration names of every length a unit can hold (1 to 255 bytes, the
// longest kept with a longer length mark), in mixed case, each with its own
// stamp: imported in another letter case with the same stamps, all agree;
// with other stamps, all are named, in the importer's order and spelling.
TEST(Folders, InterfaceCheckWithDeclarationNamesOfEveryLength) {
  TTree T;
  std::vector<TDeclSpec> Decls;
  std::vector<TImportSpec> Same, Other;
  TStrings OtherNames;
  for (size_t Len : {1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 31, 64, 200, 254, 255}) {
    std::string Name;
    for (size_t I = 0; I < Len; ++I) Name += "QwErTy_9"[(I + Len) % 8];
    std::string Swapped = Name;
    for (char& C : Swapped) C = std::isupper(static_cast<unsigned char>(C)) ? char(std::tolower(C)) : char(std::toupper(C));
    Decls.push_back({Name, uint32_t(Len)});
    Same.push_back({Swapped, uint32_t(Len)});
    Other.push_back({Swapped, uint32_t(Len) + 1000});
    OtherNames.push_back(Swapped);
  }
  T.Write("n/Lib.dcu", MakeUnit("Lib", 7, {}, Decls));
  T.Write("n/Same.dcu", MakeUnit("Same", 7, {{"Lib", Same}}));
  T.Write("n/Other.dcu", MakeUnit("Other", 7, {{"lib", Other}}));
  TFolderReport R = ScanFolders({"n"});

  ASSERT_EQ(CountOf(R, TFindingKind::InterfaceMismatch), 1u);
  const TFinding* F = FindingOf(R, TFindingKind::InterfaceMismatch);
  EXPECT_EQ(R.Units[F->File].Path, "n/Other.dcu");
  EXPECT_EQ(NamesOf(R, *F), OtherNames);
}

// A path said to be normal is what lexically_normal makes of it: every path
// of up to four parts of a few kinds, relative and absolute, with and
// without a separator at the end; the usual paths are said to be normal.
TEST(Folders, PathsSaidToBeNormalAreTheirNormalForm) {
  const std::vector<std::string> Parts{"a", "b.dcu", ".", "..", "", "...", ".a"};
  std::vector<std::string> Paths{""}, Last{""};
  for (int Depth = 1; Depth <= 4; ++Depth) {
    std::vector<std::string> Next;
    for (const std::string& P : Last)
      for (const std::string& Part : Parts) Next.push_back(P.empty() ? Part : P + "/" + Part);
    Paths.insert(Paths.end(), Next.begin(), Next.end());
    Last = std::move(Next);
  }
  size_t Normal = 0;
  for (const std::string& P : Paths)
    for (const std::string& Q : {P, "/" + P, P + "/"})
      if (IsLexicallyNormal(Q)) {
        ++Normal;
        ASSERT_EQ(std::filesystem::path(Q).lexically_normal().string(), Q);
      }
  EXPECT_GT(Normal, 100u);
  for (const char* P : {"a.dcu", "../shared/corpus/v7/a.dcu", "../../x/y.DCU", "/tmp/many/copy1/1.dcu", "..", "a/...b"})
    EXPECT_TRUE(IsLexicallyNormal(P)) << P;
  for (const char* P : {"./a.dcu", "a/../b.dcu", "/../a", "a//b", "a/", "/", ""}) EXPECT_FALSE(IsLexicallyNormal(P)) << P;
}

TEST(Folders, WalkTakesUnitFilesInNameOrderAndSkipsLinkedFolders) {
  TTree T;
  auto U = MakeUnit("A", 7, {});
  T.Write("src/b/B.DCU", U);
  T.Write("src/a.dcu", U);
  T.Write("src/c.Dcu", U);
  T.Write("src/readme.txt", U);
  T.Write("src/sub.dcu/Inner.dcu", U);  // a folder with the extension is walked
  T.Write("given.bin", U);
  T.Write("other/o.dcu", U);
  fs::create_directory_symlink(T.Root / "other", "src/linked");
  fs::create_symlink(T.Root / "other/o.dcu", "src/z.dcu");
  fs::create_symlink(T.Root / "nowhere.dcu", "src/dangling.dcu");
  ASSERT_EQ(::mkfifo("src/pipe.dcu", 0644), 0);

  TUnitFileList L = FindUnitFiles({"src", "given.bin", "src/a.dcu", "missing", "src/linked"});
  EXPECT_EQ(L.Files, (TStrings{"src/a.dcu", "src/b/B.DCU", "src/c.Dcu", "src/dangling.dcu",
                               "src/sub.dcu/Inner.dcu", "src/z.dcu", "given.bin", "src/linked/o.dcu"}));
  ASSERT_EQ(L.Unreadable.size(), 2u);
  EXPECT_EQ(L.Unreadable[0].Path, "src/pipe.dcu");
  EXPECT_EQ(L.Unreadable[0].Error, "Not a regular file");
  EXPECT_EQ(L.Unreadable[1].Path, "missing");
  EXPECT_EQ(L.Unreadable[1].Error, "No such file or directory");

  // The dangling link and the pipe are not-loaded findings; the rest loads.
  TFolderReport R = ScanFolders({"src"});
  EXPECT_EQ(CountOf(R, TFindingKind::NotLoaded), 2u);
  EXPECT_FALSE(R.Clean());
}

TEST(Folders, AFolderThatCannotBeOpenedIsReportedNotFatal) {
  TTree T;
  T.Write("top/ok/A.dcu", MakeUnit("A", 7, {}));
  T.Write("top/shut/B.dcu", MakeUnit("B", 7, {}));
  fs::permissions("top/shut", fs::perms::none);
  // The superuser opens any folder: read as nobody in a child process then.
  pid_t Child = ::fork();
  ASSERT_GE(Child, 0);
  if (Child == 0) {
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(3);
    TFolderReport R = ScanFolders({"top"});
    bool Good = R.Units.size() == 1 && R.Units[0].Ok && R.Unreadable.size() == 1 &&
                R.Unreadable[0].Path == "top/shut" && R.Unreadable[0].Error == "Permission denied" &&
                CountOf(R, TFindingKind::NotLoaded) == 1 && !R.Clean();
    ::_exit(Good ? 0 : 1);
  }
  int Status = 0;
  ASSERT_EQ(::waitpid(Child, &Status, 0), Child);
  ASSERT_TRUE(WIFEXITED(Status));
  EXPECT_EQ(WEXITSTATUS(Status), 0);
}

TEST(Folders, AFolderWithoutUnitsGivesAnEmptyCleanReport) {
  TTree T;
  T.Write("empty/notes.txt", {1, 2, 3});
  fs::create_directories("empty/deeper");
  TFolderReport R = ScanFolders({"empty"});
  EXPECT_TRUE(R.Units.empty());
  EXPECT_TRUE(R.Findings.empty());
  EXPECT_TRUE(R.Clean());
  std::ostringstream Text, Json;
  WriteReportText(R, Text);
  WriteReportJson(R, Json);
  EXPECT_NE(Text.str().find("No unit files found."), std::string::npos);
  EXPECT_EQ(json::parse(Json.str()), json::parse(R"({"units": [], "findings": []})"));
}

TEST(Folders, FactsAndTheFindingsOfEveryKind) {
  TTree T;
  T.Write("p/Main.dcu", MakeUnit("Main", 7,
                                 {{"System"},
                                  {"Util", {{"Helper", 0x11}}},
                                  {"Gone", {}, 0x65},
                                  {"kernel32.dll", {{"Beep", 5}}, 0x68}}));
  T.Write("p/Util.dcu", MakeUnit("Util", 7, {{"System"}}, {{"Helper", 0x11}}));
  T.Write("p/UTIL2.dcu", MakeUnit("UTIL", 7, {{"System"}}, {{"Helper", 0x11}}));
  T.Write("p/Old.dcu", MakeUnit("Old", 3, {{"System"}, {"Gone"}}));
  T.Write("p/Broken.dcu", {0x01, 0x02, 0x03});
  TFolderReport R = ScanFolders({"p"});

  ASSERT_EQ(R.Units.size(), 5u);
  const TFolderUnit& Main = R.Units[1];
  ASSERT_EQ(Main.Path, "p/Main.dcu");
  EXPECT_TRUE(Main.Ok);
  EXPECT_EQ(R.Names.Text(Main.UnitName), "Main");
  EXPECT_EQ(Main.Facts.Version, 7);
  ASSERT_EQ(Main.Uses.size(), 4u);
  // The uses are the facts' uses, in file order, with the imports beside.
  ASSERT_EQ(Main.Facts.UsedUnits.size(), 4u);
  for (size_t K = 0; K < 4; ++K) {
    EXPECT_EQ(R.Names.Text(Main.Uses[K].Name), Main.Facts.UsedUnits[K].Name);
    EXPECT_EQ(Main.Uses[K].Kind, Main.Facts.UsedUnits[K].UseKind);
  }
  EXPECT_EQ(Main.Uses[2].Kind, 1);  // implementation
  EXPECT_EQ(Main.Uses[3].Kind, 2);  // DLL: its routines are no imported names
  EXPECT_EQ(Main.Imports.size(), 1u);
  EXPECT_FALSE(R.Units[0].Ok);
  EXPECT_EQ(R.Units[0].Error.rfind("Error", 0), 0u);

  const TFinding* NL = FindingOf(R, TFindingKind::NotLoaded);
  ASSERT_NE(NL, nullptr);
  EXPECT_EQ(R.PathOf(*NL), "p/Broken.dcu");
  EXPECT_EQ(R.ErrorOf(*NL), R.Units[0].Error);

  const TFinding* Dup = FindingOf(R, TFindingKind::DuplicateUnit);
  ASSERT_NE(Dup, nullptr);
  EXPECT_EQ(PathsOf(R, R.FilesOf(*Dup)), (TStrings{"p/UTIL2.dcu", "p/Util.dcu"}));
  EXPECT_TRUE(R.Units[3].Has(TFindingKind::DuplicateUnit));

  // Missing units in name order; the DLL is no unit. System, which all four
  // loaded files use, is the runtime's: a finding of its own, before them.
  ASSERT_EQ(CountOf(R, TFindingKind::MissingUnit), 1u);
  const TFinding* Gone = FindingOf(R, TFindingKind::MissingUnit, 0);
  EXPECT_EQ(R.Names.Text(Gone->Unit), "Gone");
  EXPECT_EQ(PathsOf(R, R.FilesOf(*Gone)), (TStrings{"p/Main.dcu", "p/Old.dcu"}));
  ASSERT_EQ(CountOf(R, TFindingKind::MissingRuntime), 1u);
  const TFinding* Runtime = FindingOf(R, TFindingKind::MissingRuntime, 0);
  ASSERT_EQ(Runtime->Names.size(), 1u);
  EXPECT_EQ(R.Names.Text(Runtime->Names[0]), "System");
  EXPECT_EQ(R.FilesOf(*Runtime).size(), 4u);
  EXPECT_TRUE(Main.Has(TFindingKind::MissingRuntime));
  EXPECT_TRUE(Main.Has(TFindingKind::MissingUnit));  // Gone
  EXPECT_TRUE(R.Units[3].Has(TFindingKind::MissingRuntime));
  EXPECT_FALSE(R.Units[3].Has(TFindingKind::MissingUnit));  // UTIL2: only System

  const TFinding* Mixed = FindingOf(R, TFindingKind::MixedVersions);
  ASSERT_NE(Mixed, nullptr);
  EXPECT_EQ(Mixed->Versions, (std::vector<std::pair<int32_t, size_t>>{{3, 1}, {7, 3}}));

  // Both files of Util declare the imported stamp: no mismatch, but a file
  // failed, so the set is not clean.
  EXPECT_EQ(CountOf(R, TFindingKind::InterfaceMismatch), 0u);
  EXPECT_FALSE(R.Clean());
}

TEST(Folders, InterfaceMismatchFollowsTheCandidateRule) {
  TTree T;
  // Lib exists three times: in a/ (version 7, stamp 1), b/ (version 6, stamp 2), c/ (version 5, stamp 3).
  T.Write("a/Lib.dcu", MakeUnit("Lib", 7, {}, {{"Run", 1}, {"TThing", 1}, {"Low", 0, false}}));
  T.Write("b/Lib.dcu", MakeUnit("Lib", 6, {}, {{"Run", 2}}));
  T.Write("c/Lib.dcu", MakeUnit("Lib", 5, {}, {{"Run", 3}}));
  // Same folder first: a/ has Lib with stamp 1, although b/ has the importer's 2.
  T.Write("a/UseA.dcu", MakeUnit("UseA", 6, {{"Lib", {{"Run", 2}}}}));
  // No Lib in d/: those of the importer's version 6 (b/), which agree.
  T.Write("d/UseD.dcu", MakeUnit("UseD", 6, {{"Lib", {{"Run", 2}}}}));
  // No Lib of version 4: all three, one of which agrees.
  T.Write("e/UseE.dcu", MakeUnit("UseE", 4, {{"Lib", {{"Run", 3}}}}));
  // Version 7 in f/: a/ only, and the stamp differs. Letter case is ignored;
  // types (plain and with run-time type data) are compared; names that Lib
  // declares without a stamp (a built-in routine) or not at all are not.
  T.Write("f/UseF.dcu", MakeUnit("UseF", 7,
                                 {{"LIB",
                                   {{"run", 9}, {"TThing", 9, 'n'}, {"Low", 9}, {"Nowhere", 9}, {"RUN", 8, 'T'}},
                                   0x65}}));
  TFolderReport R = ScanFolders({"a", "b", "c", "d", "e", "f"});

  ASSERT_EQ(CountOf(R, TFindingKind::InterfaceMismatch), 2u);
  const TFinding* A = FindingOf(R, TFindingKind::InterfaceMismatch, 0);
  EXPECT_EQ(R.Units[A->File].Path, "a/UseA.dcu");
  EXPECT_EQ(R.Names.Text(A->Unit), "Lib");
  EXPECT_EQ(PathsOf(R, R.FilesOf(*A)), (TStrings{"a/Lib.dcu"}));
  EXPECT_EQ(NamesOf(R, *A), (TStrings{"Run"}));
  const TFinding* F = FindingOf(R, TFindingKind::InterfaceMismatch, 1);
  EXPECT_EQ(R.Units[F->File].Path, "f/UseF.dcu");
  EXPECT_EQ(R.Names.Text(F->Unit), "LIB");
  EXPECT_EQ(PathsOf(R, R.FilesOf(*F)), (TStrings{"a/Lib.dcu"}));
  EXPECT_EQ(NamesOf(R, *F), (TStrings{"run", "TThing"}));
  EXPECT_TRUE(R.Units[6].Has(TFindingKind::InterfaceMismatch));
  EXPECT_FALSE(R.Clean());

  // Without the stale importers the set is clean (duplicates and mixed
  // versions do not spoil it).
  TFolderReport Good = ScanFolders({"b", "c", "d", "e"});
  EXPECT_EQ(CountOf(Good, TFindingKind::InterfaceMismatch), 0u);
  EXPECT_EQ(CountOf(Good, TFindingKind::DuplicateUnit), 1u);
  EXPECT_TRUE(Good.Clean());
}

TEST(Folders, UsesGraphAndItsDotText) {
  TTree T;
  T.Write("g/App.dcu", MakeUnit("App", 7, {{"System"}, {"Lib", {{"Run", 9}}}, {"Forms", {}, 0x65}}));
  T.Write("g/Lib.dcu", MakeUnit("Lib", 7, {{"System"}, {"App", {}, 0x65}}, {{"Run", 1}}));
  T.Write("g/Tool.dcu", MakeUnit("Tool", 7, {{"System"}, {"Lib"}}));
  TFolderReport R = ScanFolders({"g"});
  TUsesGraph G = BuildUsesGraph(R);
  ASSERT_EQ(G.SetUnits, 3u);
  ASSERT_EQ(G.Nodes.size(), 5u);  // App, Lib, Tool, System, Forms
  EXPECT_EQ(G.Nodes[3].Name, "System");
  EXPECT_TRUE(G.Nodes[3].Runtime);   // used by all three
  EXPECT_FALSE(G.Nodes[4].Runtime);  // Forms: used by one of three
  EXPECT_TRUE(G.Nodes[0].Finding);   // App was compiled against another Lib

  std::string Dot = UsesGraphDot(G);
  EXPECT_EQ(Dot.rfind("digraph uses {\n", 0), 0u);
  EXPECT_NE(Dot.find("  \"App\" [color=red, fontcolor=red, penwidth=2];\n"), std::string::npos);
  EXPECT_NE(Dot.find("  \"Lib\";\n"), std::string::npos);
  EXPECT_NE(Dot.find("  \"Forms\" [style=\"rounded,dashed\", color=gray60, fontcolor=gray45];\n"),
            std::string::npos);
  EXPECT_NE(Dot.find("  \"App\" -> \"Lib\" [color=red, penwidth=2];\n"), std::string::npos);
  EXPECT_NE(Dot.find("  \"App\" -> \"Forms\" [style=dashed];\n"), std::string::npos);
  EXPECT_NE(Dot.find("  \"Lib\" -> \"App\" [style=dashed];\n"), std::string::npos);
  EXPECT_NE(Dot.find("\"System\""), std::string::npos);
  std::string Hidden = UsesGraphDot(G, {.HideRuntime = true});
  EXPECT_EQ(Hidden.find("\"System\""), std::string::npos);
  EXPECT_NE(Hidden.find("\"Forms\""), std::string::npos);
  EXPECT_EQ(DotQuoted("a\"b\\c"), "\"a\\\"b\\\\c\"");
}

// The neighbourhood of a unit in a chain A -> B -> C -> D (all using
// System): one step reaches the unit's user and the unit it uses, two steps
// one more each way; the runtime unit is neither shown nor passed through
// when hidden. The DOT text of a neighbourhood has only its units and uses.
TEST(Folders, UsesGraphNeighbourhood) {
  TTree T;
  T.Write("n/A.dcu", MakeUnit("A", 7, {{"System"}, {"B"}}));
  T.Write("n/B.dcu", MakeUnit("B", 7, {{"System"}, {"C"}}));
  T.Write("n/C.dcu", MakeUnit("C", 7, {{"System"}, {"D"}}));
  T.Write("n/D.dcu", MakeUnit("D", 7, {{"System"}}));
  TFolderReport R = ScanFolders({"n"});
  TUsesGraph G = BuildUsesGraph(R);
  ASSERT_EQ(G.Nodes.size(), 5u);  // A, B, C, D, System
  auto Names = [&](const std::vector<bool>& In) {
    std::string S;
    for (size_t I = 0; I < In.size(); ++I)
      if (In[I]) S += G.Nodes[I].Name;
    return S;
  };
  EXPECT_EQ(Names(UsesNeighbourhood(G, 1, 1, true)), "ABC");
  EXPECT_EQ(Names(UsesNeighbourhood(G, 0, 2, true)), "ABC");
  EXPECT_EQ(Names(UsesNeighbourhood(G, 0, 3, true)), "ABCD");
  EXPECT_EQ(Names(UsesNeighbourhood(G, 0, 1, false)), "ABSystem");
  // Through System every unit is two steps away.
  EXPECT_EQ(Names(UsesNeighbourhood(G, 0, 2, false)), "ABCDSystem");
  EXPECT_EQ(Names(UsesNeighbourhood(G, 9, 1, false)), "");
  EXPECT_EQ(Names(UsesNeighbourhood(G, 3, 0, false)), "D");
  EXPECT_EQ(G.Nodes[BusiestSetNode(G)].Name, "B");  // B and C have three uses each; B comes first
  EXPECT_EQ(G.Nodes[BusiestSetNode(G, 2)].Name, "A");  // A and D have two
  EXPECT_EQ(G.Nodes[BusiestSetNode(G, 1)].Name, "A");  // none has one: the fewest

  TDotOptions O;
  O.HideRuntime = true;
  O.Only = UsesNeighbourhood(G, 0, 1, true);
  const std::string Dot = UsesGraphDot(G, O);
  EXPECT_NE(Dot.find("  \"A\" -> \"B\";\n"), std::string::npos);
  EXPECT_EQ(Dot.find("\"C\""), std::string::npos);
  EXPECT_EQ(Dot.find("\"System\""), std::string::npos);
}

// The runtime units (missing, used by more than half of the loaded files)
// are one finding in the text and the JSON, before the other missing units;
// the table's problems do not name them.
TEST(Folders, ReportWritersGroupTheRuntimeUnits) {
  TTree T;
  T.Write("r/A.dcu", MakeUnit("A", 7, {{"System"}, {"SysInit"}, {"Gone"}}));
  T.Write("r/B.dcu", MakeUnit("B", 7, {{"System"}, {"SysInit"}}));
  T.Write("r/C.dcu", MakeUnit("C", 7, {{"system"}}));
  TFolderReport R = ScanFolders({"r"});
  std::ostringstream Text, Json;
  WriteReportText(R, Text);
  WriteReportJson(R, Json);
  const std::string S = Text.str();
  EXPECT_NE(S.find("\nmissing-runtime (1):\n  SysInit, System: the runtime library (in no file here), used by 3 files\n"
                   "\nmissing-unit (1):\n  Gone, used by r/A.dcu\n"),
            std::string::npos)
      << S;
  EXPECT_NE(S.find("r/B.dcu  B     7        no     -\n"), std::string::npos) << S;
  EXPECT_NE(S.find("r/A.dcu  A     7        no     uses-missing-unit\n"), std::string::npos) << S;
  const json J = json::parse(Json.str());
  ASSERT_EQ(J["findings"].size(), 2u);
  EXPECT_EQ(J["findings"][0], json::parse(R"({"kind": "missing-runtime", "units": ["SysInit", "System"],
                                             "usedBy": ["r/A.dcu", "r/B.dcu", "r/C.dcu"]})"));
  EXPECT_EQ(J["findings"][1]["kind"], "missing-unit");
}

TEST(Folders, ReportWritersTextAndJson) {
  TTree T;
  T.Write("w/App.dcu", MakeUnit("App", 7, {{"Lib", {{"Run", 9}}}, {"user32.dll", {{"Beep", 1}}, 0x68}}));
  T.Write("w/Lib.dcu", MakeUnit("Lib", 6, {}, {{"Run", 1}}));
  T.Write("w/Bad.dcu", {0x01});
  TFolderReport R = ScanFolders({"w"});
  std::ostringstream Text, Json;
  WriteReportText(R, Text);
  WriteReportJson(R, Json);
  json J = json::parse(Json.str());
  ASSERT_EQ(J["units"].size(), 3u);
  EXPECT_EQ(J["units"][0]["path"], "w/App.dcu");
  EXPECT_EQ(J["units"][0]["uses"], json::parse(R"({"interface": ["Lib"], "implementation": [], "dlls": ["user32.dll"]})"));
  EXPECT_EQ(J["units"][0]["debugInfo"], false);
  EXPECT_EQ(J["units"][1]["ok"], false);
  EXPECT_FALSE(J["units"][1].contains("unit"));
  std::vector<std::string> Kinds;
  for (const json& F : J["findings"]) Kinds.push_back(F["kind"]);
  EXPECT_EQ(Kinds, (TStrings{"not-loaded", "mixed-versions", "interface-mismatch"}));
  EXPECT_EQ(J["findings"][1]["versions"], json::parse(R"({"6": 1, "7": 1})"));
  EXPECT_EQ(J["findings"][2], json::parse(R"({"kind": "interface-mismatch", "file": "w/App.dcu", "uses": "Lib",
                                             "usedFiles": ["w/Lib.dcu"], "names": ["Run"]})"));
  // Each unit is the object --json prints for its file (keys in alphabetical
  // order), each unit and finding on a line of its own.
  const TUnitLoad App = TryLoadUnit("w/App.dcu");
  ASSERT_TRUE(App.Facts);
  std::string AppJson;
  {
    TJsonWriter W(AppJson, TJsonLayout::Flat);
    WriteUnitFactsJson(W, "w/App.dcu", &*App.Facts, "");
  }
  EXPECT_EQ(J["units"][0], json::parse(AppJson));
  EXPECT_EQ(J["units"][0]["stats"]["declarations"], App.Facts->Stats.Declarations);
  const nlohmann::ordered_json O = nlohmann::ordered_json::parse(Json.str());
  std::string Lines = "{\n  \"units\": [";
  for (size_t I = 0; I < O["units"].size(); ++I) Lines += (I ? ",\n    " : "\n    ") + O["units"][I].dump();
  Lines += "\n  ],\n  \"findings\": [";
  for (size_t I = 0; I < O["findings"].size(); ++I) Lines += (I ? ",\n    " : "\n    ") + O["findings"][I].dump();
  EXPECT_EQ(Json.str(), Lines + "\n  ]\n}\n");
  EXPECT_EQ(O["units"][0].begin().key(), "debugInfo");
  const std::string S = Text.str();
  EXPECT_NE(S.find("FILE       UNIT  VERSION  DEBUG  PROBLEMS\n"
                   "w/App.dcu  App   7        no     interface-mismatch\n"
                   "w/Bad.dcu  -     -        -      not-loaded\n"),
            std::string::npos);
  EXPECT_NE(S.find("3 unit files, 2 loaded; 3 findings\n"), std::string::npos);
  EXPECT_NE(S.find("\ninterface-mismatch (1):\n  w/App.dcu uses Lib compiled against another interface: Run "
                   "(compared with w/Lib.dcu)\n"),
            std::string::npos);
}

// The real units: one program's units were compiled against another
// DPEMForm than the one beside them; another program's agree.
TEST(FoldersCorpus, FindsTheStaleSetAndNoneInACurrentOne) {
  fs::path V3 = testdata::CorpusDir() / "v3";
  if (!fs::is_directory(V3)) GTEST_SKIP() << "no corpus folder " << V3 << "; skipped";
  TFolderReport R = ScanFolders({V3.string()});
  size_t Dpe = 0;
  for (const TFinding& F : R.Findings) {
    if (F.Kind != TFindingKind::InterfaceMismatch) continue;
    const std::string File = fs::path(R.Units[F.File].Path).filename().string();
    EXPECT_EQ(File.find("EquinoxOmega0-MultiDraw__"), std::string::npos) << File;
    if (File.rfind("vrodic-DPE__", 0) == 0 && R.Names.Text(R.Names.Folded(F.Unit)) == "dpemform") {
      ++Dpe;
      EXPECT_EQ(NamesOf(R, F), (TStrings{"DPEMain"})) << File;
      ASSERT_EQ(R.FilesOf(F).size(), 1u);
      EXPECT_EQ(fs::path(R.Units[R.FilesOf(F)[0]].Path).filename(), "vrodic-DPE__DPEMFORM.dcu");
    }
  }
  EXPECT_EQ(Dpe, 9u);
}
