// The code listing over the real units of ../shared/corpus (skipped when the
// folder is absent): every routine that owns a piece is listed, its items
// tile the piece, every instruction has the length a second, independent
// decoder (GNU objdump) gives at its offset, every fixup lies whole inside
// one item and is named; where ../shared/corpus-src has the unit's source,
// each routine's first line marker falls inside that routine's text.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "CodeListing.h"
#include "CodeText.h"
#include "DCURecs.h"
#include "DCU_Unit.h"
#include "TestData.h"

namespace fs = std::filesystem;

// Under the sanitizers the listing runs many times slower: a share of the
// units is listed there (every unit in the normal build).
#if defined(__SANITIZE_ADDRESS__)
constexpr size_t UnitStep = 4;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr size_t UnitStep = 4;
#else
constexpr size_t UnitStep = 1;
#endif
#else
constexpr size_t UnitStep = 1;
#endif

namespace {

struct TCorpusUnit {
  fs::path Path;
  std::string Rel;  // "v7/Name.dcu"
  std::unique_ptr<TUnit> Unit;
};

// The units of the corpus that load, in name order.
std::vector<TCorpusUnit> LoadCorpus() {
  std::vector<TCorpusUnit> Units;
  const fs::path Root = testdata::CorpusDir();
  size_t Seen = 0;
  for (const char* V : {"v2", "v3", "v4", "v5", "v6", "v7", "other"})
    for (const fs::path& P : testdata::FilesIn(Root / V)) {
      if (P.extension() != ".dcu" || Seen++ % UnitStep != 0) continue;
      try {
        auto U = std::make_unique<TUnit>(P.string());
        Units.push_back({P, std::string(V) + "/" + P.filename().string(), std::move(U)});
      } catch (const EDCUReadError&) {
      }
    }
  return Units;
}

size_t PlacedRoutines(const TUnit& U) {
  std::set<const TProcDecl*> Seen;
  for (const TDCURec* R : U.DeclTable)
    if (const auto* P = RecCast<TProcDecl>(R))
      if (P->MemOfs >= 0) Seen.insert(P);
  // Nested routines are numbered too; the walk of the listing finds the same.
  return Seen.size();
}

// Instruction lengths by the second decoder: the instructions of all units
// written one run of consecutive instructions after another, sixteen
// one-byte instructions between runs (after a disagreement the decoder is in
// step again by the end of them), decoded by objdump at once.
class TObjdumpCheck {
 public:
  struct TExpect {
    uint64_t At;
    uint32_t Len;
    std::string Where;
  };
  void AddRun(const uint8_t* Bytes, const std::vector<std::pair<uint32_t, uint32_t>>& Insns, uint32_t RunStart,
              const std::string& Where) {
    const uint64_t Base = Buf.size();
    uint32_t End = RunStart;
    for (const auto& [Ofs, Len] : Insns) {
      Expect.push_back({Base + (Ofs - RunStart), Len, Where + "+" + std::to_string(Ofs)});
      End = Ofs + Len;
    }
    Buf.insert(Buf.end(), Bytes + RunStart, Bytes + End);
    Buf.insert(Buf.end(), 16, 0x90);
  }
  // The disagreements (at most Max of them are described).
  size_t Run(std::vector<std::string>& Notes, size_t Max = 20) {
    const fs::path File = fs::temp_directory_path() / ("unitpeek_code_" + std::to_string(getpid()) + ".bin");
    {
      std::ofstream Out(File, std::ios::binary);
      Out.write(reinterpret_cast<const char*>(Buf.data()), static_cast<std::streamsize>(Buf.size()));
    }
    const std::string Cmd = "objdump -D -z -b binary -m i386 -M intel --insn-width=16 '" + File.string() + "'";
    FILE* P = popen(Cmd.c_str(), "r");
    std::vector<uint64_t> Starts;
    if (P) {
      char Line[512];
      while (std::fgets(Line, sizeof Line, P)) {
        // "     1a3:\t8b 45 fc         \tmov    eax,DWORD PTR [ebp-0x4]"
        char* S = Line;
        while (*S == ' ') ++S;
        char* Colon = nullptr;
        const uint64_t A = std::strtoull(S, &Colon, 16);
        if (Colon == S || !Colon || Colon[0] != ':' || Colon[1] != '\t') continue;
        Starts.push_back(A);
      }
      pclose(P);
    }
    fs::remove(File);
    Starts.push_back(Buf.size());
    size_t Bad = 0;
    bool Merged = false;  // the instruction before was a wait that objdump joined to this one
    for (size_t K = 0; K < Expect.size(); ++K) {
      const TExpect& E = Expect[K];
      if (Merged) {
        Merged = false;
        continue;
      }
      auto It = std::lower_bound(Starts.begin(), Starts.end(), E.At);
      bool Ok = It != Starts.end() && *It == E.At && It + 1 != Starts.end() && *(It + 1) == E.At + E.Len;
      // objdump shows a wait (9B) and the x87 control instruction after it
      // as one ("fstsw ax" for "wait; fnstsw ax"); the processor runs two.
      if (!Ok && E.Len == 1 && Buf[E.At] == 0x9B && K + 1 < Expect.size() && Expect[K + 1].At == E.At + 1 &&
          It != Starts.end() && *It == E.At && It + 1 != Starts.end() &&
          *(It + 1) == E.At + 1 + Expect[K + 1].Len) {
        Ok = true;
        Merged = true;
      }
      if (!Ok && Bad++ < Max) {
        const uint64_t Other = (It != Starts.end() && *It == E.At && It + 1 != Starts.end()) ? *(It + 1) - E.At : 0;
        Notes.push_back(E.Where + ": length " + std::to_string(E.Len) + ", objdump " + std::to_string(Other));
      }
    }
    return Bad;
  }
  size_t Count() const { return Expect.size(); }
  bool Available() const { return std::system("objdump --version >/dev/null 2>&1") == 0; }

 private:
  std::vector<uint8_t> Buf;
  std::vector<TExpect> Expect;
};

// ---------------------------------------------------------------------------
// Where a routine's text is in its Pascal source.

std::string Lower(std::string S) {
  for (char& C : S) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
  return S;
}

struct TSourceHeads {
  std::vector<std::string> Lines;  // lower-cased
  // Line numbers (1-based) of the headings of routine Name (lower-cased):
  // in the implementation, and in the interface for routines declared
  // external there.
  std::map<std::string, std::vector<int32_t>> Heads;
  std::vector<int32_t> Keyword(const std::string& Word) const {
    std::vector<int32_t> Out;
    for (size_t I = 0; I < Lines.size(); ++I) {
      const std::string& L = Lines[I];
      const size_t P = L.find_first_not_of(" \t");
      if (P != std::string::npos && L.compare(P, Word.size(), Word) == 0 &&
          (P + Word.size() == L.size() || !std::isalnum(static_cast<unsigned char>(L[P + Word.size()]))))
        Out.push_back(static_cast<int32_t>(I + 1));
    }
    return Out;
  }
};

TSourceHeads ReadHeads(const fs::path& Src) {
  TSourceHeads S;
  std::ifstream In(Src, std::ios::binary);
  std::string Line;
  while (std::getline(In, Line)) S.Lines.push_back(Lower(Line));
  for (size_t I = 0; I < S.Lines.size(); ++I) {
    const std::string& L = S.Lines[I];
    std::istringstream Words(L);
    std::string W, Name;
    Words >> W;
    if (W == "class") Words >> W;
    if (W != "procedure" && W != "function" && W != "constructor" && W != "destructor") continue;
    Words >> Name;
    const size_t Cut = Name.find_first_of("(;:<{");
    if (Cut != std::string::npos) Name.erase(Cut);
    if (!Name.empty()) S.Heads[Name].push_back(static_cast<int32_t>(I + 1));
  }
  return S;
}

// Records the names the text writer gives each item.
class TNameSink : public TCodeSink {
 public:
  void Run(TCodeRunKind, std::string_view, int64_t) override {}
  void EndLine() override {}
  void Name(std::string_view, const TCodeSpan& Ref) override { Got.back().push_back(Ref.Start); }
  void BeginItem(const TCodeRoutine&, size_t) override { Got.emplace_back(); }
  std::vector<std::vector<uint32_t>> Got;  // per item, the starts of its names
};

// The listing names in each item what ItemSpans has for it.
void ExpectNamesOfEachItem(const TCodeRoutine& R, const std::string& Where) {
  TNameSink Sink;
  WriteRoutineListing(R, Sink);
  ASSERT_EQ(Sink.Got.size(), R.Items.size()) << Where;
  for (size_t K = 0; K < R.Items.size(); ++K) {
    std::vector<uint32_t> Want;
    const TCodeItem& It = R.Items[K];
    for (const TCodeSpan& S : R.ItemSpans(It))
      if (S.Start >= It.TextStart && S.Start + static_cast<size_t>(S.Len) <= It.TextStart + It.TextSize)
        Want.push_back(S.Start);
    EXPECT_EQ(Sink.Got[K], Want) << Where << " item " << K;
  }
}

}  // namespace

TEST(CodeCorpus, EveryRoutineListedTiledNamedAndDecodedAlike) {
  const fs::path Root = testdata::CorpusDir();
  if (!fs::is_directory(Root)) GTEST_SKIP() << "no corpus folder " << Root << "; skipped";
  std::vector<TCorpusUnit> Units = LoadCorpus();
  ASSERT_FALSE(Units.empty());
  TObjdumpCheck Objdump;
  size_t Routines = 0, Insns = 0, Fixups = 0, Names = 0, LinesChecked = 0, LinesInside = 0;
  std::vector<std::string> LineMisses;
  for (TCorpusUnit& C : Units) {
    const TUnit& U = *C.Unit;
    // The source beside it in corpus-src, same relative name.
    fs::path Src = testdata::CorpusSourceDir() / C.Rel;
    Src.replace_extension(".pas");
    TCodeOptions Options;
    const bool HasSource = fs::is_regular_file(Src);
    if (HasSource) Options.SourceFile = Src.string();
    else Options.ReadSources = false;
    TCodeLister L(U, Options);
    EXPECT_EQ(L.RoutineCount(), PlacedRoutines(U)) << C.Rel;
    TSourceHeads Heads;
    if (HasSource) Heads = ReadHeads(Src);
    // Names of the routines of this unit (lower-cased) and, for each, the
    // names of the routines nested in it.
    const std::vector<TCodeRoutineHead> AllHeads = L.AllHeads();
    std::set<std::string> AllNames;
    for (const TCodeRoutineHead& H : AllHeads) AllNames.insert(Lower(H.Name));

    L.ForEach([&](const TCodeRoutine& R) {
      ++Routines;
      const std::string Where = C.Rel + " " + R.Head.QualifiedName;
      ASSERT_EQ(R.Bytes.size(), R.Head.PieceSize) << Where;
      EXPECT_EQ(R.Head.PieceSize, R.Head.Size) << Where;
      // Items tile the piece.
      uint32_t At = 0;
      std::vector<std::pair<uint32_t, uint32_t>> Run;
      auto Flush = [&] {
        if (!Run.empty()) Objdump.AddRun(R.Bytes.data(), Run, Run.front().first, Where);
        Run.clear();
      };
      uint32_t TextAt = 0;
      for (const TCodeItem& It : R.Items) {
        ASSERT_EQ(It.Offset, At) << Where;
        ASSERT_GT(It.Size, 0u) << Where;
        At += It.Size;
        // The items' texts follow one another (the text writer walks the
        // spans along them).
        EXPECT_GE(It.TextStart, TextAt) << Where;
        TextAt = It.TextStart + It.TextSize;
        if (It.Kind == TCodeItemKind::Insn && U.Version <= 7) {
          Run.emplace_back(It.Offset, It.Size);
          ++Insns;
        } else {
          Flush();
        }
      }
      Flush();
      ASSERT_EQ(At, R.Head.PieceSize) << Where;
      ExpectNamesOfEachItem(R, Where);
      // Every fixup inside one item, and named.
      for (const TCodeFixup& F : R.Fixups) {
        ++Fixups;
        auto It = std::upper_bound(R.Items.begin(), R.Items.end(), F.Offset,
                                   [](uint32_t V, const TCodeItem& I) { return V < I.Offset; });
        ASSERT_NE(It, R.Items.begin()) << Where;
        --It;
        EXPECT_LE(F.Offset + F.Size, It->Offset + It->Size) << Where << " fixup at " << F.Offset;
        // Named: by the declaration's name, or, for a declaration the file
        // gives no name (the compiler's own tables and counters), by its
        // number.
        EXPECT_FALSE(F.Target.empty()) << Where;
        if (!F.Target.empty() && F.Target[0] == '#') {
          const TDCURec* D = U.GetDecl(std::atoll(F.Target.c_str() + 1));
          EXPECT_TRUE(D && NameView(D->GetName()).empty()) << Where << " fixup at " << F.Offset << " " << F.Target;
        }
        EXPECT_NE(F.KindName.rfind("kind ", 0), 0u) << Where << " fixup at " << F.Offset;
      }
      // Every name marked, and what it refers to is what it says.
      for (const TCodeItem& It : R.Items) {
        const std::span<const TCodeSpan> Spans = R.ItemSpans(It);
        bool HasField = false;
        for (const TCodeFixup& F : R.Fixups)
          HasField = HasField || (F.Size && F.Offset >= It.Offset && F.Offset + F.Size <= It.Offset + It.Size);
        if (HasField && Spans.empty()) ADD_FAILURE() << Where << " no name marked in " << R.ItemText(It);
        for (const TCodeSpan& S : Spans) {
          ++Names;
          ASSERT_LE(S.Start + S.Len, It.TextStart + It.TextSize) << Where;
          const std::string_view Text = std::string_view(R.Text).substr(S.Start, S.Len);
          switch (S.Kind) {
            case TCodeRefKind::Routine:
              ASSERT_LT(S.Target, AllHeads.size()) << Where;
              EXPECT_EQ(Text, AllHeads[S.Target].QualifiedName) << Where;
              EXPECT_EQ(S.DeclOffset, AllHeads[S.Target].DeclOffset) << Where;
              break;
            case TCodeRefKind::Label: {
              bool Found = false;
              for (const TCodeLabel& Lab : R.Labels) Found = Found || (Lab.Offset == S.Target && Lab.Name == Text);
              EXPECT_TRUE(Found) << Where << " " << Text;
              break;
            }
            case TCodeRefKind::Decl:
              EXPECT_LT(S.DeclOffset, static_cast<uint32_t>(U.ImageSize)) << Where << " " << Text;
              break;
            case TCodeRefKind::Import:
              EXPECT_EQ(S.DeclOffset, NoCodeDecl) << Where;
              break;
            case TCodeRefKind::Unresolved:
              EXPECT_EQ(Text[0], '#') << Where;
              break;
          }
        }
      }
      // The first line marker inside the routine's text: after the last
      // heading of that name before it, with no heading of a routine not
      // nested in it between.
      if (!HasSource || R.Lines.empty() || !R.Lines[0].File.empty() || R.Head.Name[0] == '#') return;
      const int32_t First = R.Lines[0].Line;
      std::vector<int32_t> Own;
      if (R.Head.Role == TRoutineRole::Initialization) {
        // "initialization", the "begin" of the unit's last block, or its
        // "end." when it has neither.
        Own = Heads.Keyword("initialization");
        for (const char* W : {"begin", "end."})
          for (int32_t B : Heads.Keyword(W)) Own.push_back(B);
      } else if (R.Head.Role == TRoutineRole::Finalization) {
        Own = Heads.Keyword("finalization");
      } else {
        // A method's heading; an abstract method's code stands at its
        // declaration in the class, under its bare name.
        // The runtime's helpers are "_Name" in the source, "@Name" in the unit.
        std::string Name = Lower(R.Head.Name);
        if (Name[0] == '@') Name[0] = '_';
        for (const std::string& N : {Name, Name.substr(Name.rfind('.') + 1)}) {
          auto HIt = Heads.Heads.find(N);
          if (HIt != Heads.Heads.end()) Own.insert(Own.end(), HIt->second.begin(), HIt->second.end());
        }
      }
      ++LinesChecked;
      int32_t Head = 0;
      for (int32_t H : Own)
        if (H <= First) Head = std::max(Head, H);
      bool Inside = Head > 0;
      if (Inside && R.Head.Role != TRoutineRole::Initialization && R.Head.Role != TRoutineRole::Finalization) {
        const std::string Prefix = Lower(R.Head.QualifiedName) + ".";
        for (const auto& [Name, Lines] : Heads.Heads) {
          if (!AllNames.count(Name) || Name == Lower(R.Head.Name)) continue;
          for (int32_t H : Lines)
            if (H > Head && H < First) {
              // A routine nested in this one may stand between.
              bool Nested = false;
              for (const TCodeRoutineHead& X : AllHeads)
                if (Lower(X.Name) == Name && Lower(X.QualifiedName).rfind(Prefix, 0) == 0) Nested = true;
              if (!Nested) Inside = false;
            }
        }
      }
      if (Inside) ++LinesInside;
      else if (LineMisses.size() < 20)
        LineMisses.push_back(Where + ": first line " + std::to_string(First) + ", heading " + std::to_string(Head));
    });
  }
  if (UnitStep > 1) std::cout << "[ corpus  ] under the sanitizers: one unit in " << UnitStep << "\n";
  std::cout << "[ corpus  ] " << Units.size() << " units, " << Routines << " routines, " << Insns
            << " instructions, " << Fixups << " fixups, " << Names << " names; first lines inside their routine's text: " << LinesInside
            << " of " << LinesChecked << "\n";
  for (const std::string& M : LineMisses) std::cout << "[ line    ] " << M << "\n";
  EXPECT_GE(LinesInside * 1000, LinesChecked * 985);
  if (!Objdump.Available()) {
    std::cout << "[ objdump ] not installed; instruction lengths not compared\n";
    return;
  }
  std::vector<std::string> Notes;
  const size_t Bad = Objdump.Run(Notes);
  for (const std::string& N : Notes) std::cout << "[ objdump ] " << N << "\n";
  EXPECT_EQ(Bad, 0u) << "of " << Objdump.Count() << " instructions";
}
