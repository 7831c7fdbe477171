// The unit's source files found on disk (a given folder, else beside the
// unit) and read as lines for the code listing's line markers.
#include "CodeSource.h"

#include <chrono>
#include <mutex>
#include <unordered_map>

#include <fstream>
#include <iterator>
#include <system_error>

#include "CodeListing.h"
#include "DCU_Text.h"
#include "DCU_TextRules.h"
#include "DCU_Unit.h"
#include "Platform.h"

namespace fs = std::filesystem;

namespace {

// Length of the UTF-8 sequence at S[I], or 0 when it is none.
size_t Utf8Length(std::string_view S, size_t I) {
  const auto B = static_cast<unsigned char>(S[I]);
  size_t Len = B < 0x80 ? 1 : (B >> 5) == 6 ? 2 : (B >> 4) == 14 ? 3 : (B >> 3) == 30 ? 4 : 0;
  if (Len == 0 || I + Len > S.size()) return 0;
  for (size_t K = 1; K < Len; ++K)
    if ((static_cast<unsigned char>(S[I + K]) & 0xC0) != 0x80) return 0;
  return Len;
}

bool IsUtf8(std::string_view S) {
  for (size_t I = 0; I < S.size();) {
    const size_t Len = Utf8Length(S, I);
    if (Len == 0) return false;
    I += Len;
  }
  return true;
}

}  // namespace

std::string SourceLineText(std::string_view Bytes) {
  while (!Bytes.empty() && (Bytes.back() == '\r' || Bytes.back() == '\n')) Bytes.remove_suffix(1);
  const bool Utf8 = IsUtf8(Bytes);
  std::string S;
  S.reserve(Bytes.size());
  size_t Column = 0;
  for (size_t I = 0; I < Bytes.size();) {
    const char C = Bytes[I];
    if (C == '\t') {
      do {
        S += ' ';
        ++Column;
      } while (Column % 8 != 0);
      ++I;
      continue;
    }
    if (C >= 0x20 && C < 0x7F) {  // as it stands
      S += C;
      ++I;
    } else if (Utf8 && static_cast<unsigned char>(C) >= 0x80) {
      const size_t Len = Utf8Length(Bytes, I);
      S.append(Bytes.substr(I, Len));
      I += Len;
    } else {
      S += DisplayUtf8(Bytes.substr(I, 1));
      ++I;
    }
    ++Column;
  }
  return S;
}

namespace {

// The names of the folders looked in, read once while a folder stays as it
// was (its time of last change): the units of one folder each look for
// their sources in it, and a folder of thousands of units would otherwise
// be read thousands of times. A folder changed shortly before it was read
// may change again within the same tick of its clock: it is read again.
class TFolderNames {
 public:
  // Calls Each with the names of Dir in the order the folder gives them,
  // until it returns true.
  template <class TEach>
  void ForEach(const fs::path& Dir, TEach&& Each) {
    std::error_code Ec;
    const fs::file_time_type Changed = fs::last_write_time(Dir, Ec);
    std::lock_guard<std::mutex> L(M);
    const std::string Key = PathToUtf8(Dir);
    auto It = Folders.find(Key);
    TFolder Read;  // the folder as read now, when what is kept will not do
    const TFolder* F = It != Folders.end() ? &It->second : nullptr;
    if (Ec || !F || F->Changed != Changed || !F->Settled) {
      Read.Changed = Changed;
      Read.Settled = !Ec && fs::file_time_type::clock::now() - Changed > std::chrono::seconds(2);
      Read.Names = FolderNames(Dir);
      F = &Read;
      // Kept only when read well after its last change.
      if (Read.Settled) {
        if (Folders.size() >= MaxFolders) Folders.clear();
        F = &Folders.insert_or_assign(Key, std::move(Read)).first->second;
      }
    }
    for (const std::string& N : F->Names)
      if (Each(N)) return;
  }

 private:
  struct TFolder {
    fs::file_time_type Changed;
    bool Settled = false;  // read well after its last change
    std::vector<std::string> Names;
  };
  static constexpr size_t MaxFolders = 64;
  std::mutex M;
  std::unordered_map<std::string, TFolder> Folders;
};

TFolderNames& SourceFolderNames() {
  static TFolderNames Names;
  return Names;
}

}  // namespace

fs::path FindFileNoCase(const fs::path& Dir, std::string_view Name) {
  if (Dir.empty() || Name.empty()) return {};
  std::error_code Ec;
  // Where the system ignores case, a name in any case is found at once: the
  // folder says how the file's name is written.
  // Joined as the user wrote the folder (its separator on Windows), since
  // the path is shown.
  const std::string Folder = PathToUtf8(Dir);
  const fs::path Exact = PathFromUtf8(JoinFolderPath(Folder, std::string(Name)));
  if (!FileNamesIgnoreCase() && fs::is_regular_file(Exact, Ec)) return Exact;
  fs::path Found;
  SourceFolderNames().ForEach(Dir, [&](const std::string& File) {
    if (!SameNameNoCase(File, Name)) return false;
    fs::path P = PathFromUtf8(JoinFolderPath(Folder, File));
    if (!fs::is_regular_file(P, Ec)) return false;
    Found = std::move(P);
    return true;
  });
  return Found;
}

TCodeSourceFiles::TCodeSourceFiles(const TUnit& U, const TCodeOptions& Options) {
  Enabled = Options.ReadSources;
  UnitDir = PathFromUtf8(U.FileName).parent_path();
  if (UnitDir.empty()) UnitDir = ".";
  SourceDir = PathFromUtf8(Options.SourceDir);
  GivenMain = PathFromUtf8(Options.SourceFile);
  for (const TSourceFileRec* S = U.SourceFiles.get(); S; S = S->Next.get()) {
    TFile F;
    F.Entry = S;
    Files.push_back(std::move(F));
  }
}

TCodeSourceFiles::TFile* TCodeSourceFiles::FileOf(const TSourceFileRec* S) {
  for (size_t I = 0; I < Files.size(); ++I)
    if (Files[I].Entry == S) {
      if (!Files[I].Read) ReadFile(Files[I], I == 0);
      return &Files[I];
    }
  return nullptr;
}

void TCodeSourceFiles::ReadFile(TFile& F, bool Main) {
  F.Read = true;
  if (!Enabled) return;
  if (Main && !GivenMain.empty()) {
    F.Path = GivenMain;
  } else {
    const std::string Bare = BareFileName(NameView(F.Entry->NamePos()));
    if (!SourceDir.empty()) F.Path = FindFileNoCase(SourceDir, Bare);
    if (F.Path.empty()) F.Path = FindFileNoCase(UnitDir, Bare);
  }
  if (F.Path.empty()) return;
  std::ifstream In(F.Path, std::ios::binary);
  if (!In) {
    F.Path.clear();
    return;
  }
  F.Text.assign(std::istreambuf_iterator<char>(In), std::istreambuf_iterator<char>());
  F.Starts.push_back(0);
  for (size_t I = 0; I < F.Text.size(); ++I)
    if (F.Text[I] == '\n' && I + 1 < F.Text.size()) F.Starts.push_back(static_cast<uint32_t>(I + 1));
}

bool TCodeSourceFiles::LineText(const TSourceFileRec* S, int32_t Line, std::string& Out) {
  TFile* F = S ? FileOf(S) : nullptr;
  if (!F || F->Path.empty() || Line < 1 || static_cast<size_t>(Line) > F->Starts.size()) return false;
  const size_t From = F->Starts[static_cast<size_t>(Line - 1)];
  const size_t To = static_cast<size_t>(Line) < F->Starts.size() ? F->Starts[static_cast<size_t>(Line)] : F->Text.size();
  Out = SourceLineText(std::string_view(F->Text).substr(From, To - From));
  return true;
}

std::string TCodeSourceFiles::MainPath() {
  if (Files.empty()) return {};
  TFile* F = FileOf(Files[0].Entry);
  return F ? PathToUtf8(F->Path) : std::string();
}

const std::string* TCodeSourceFiles::MainText() {
  if (Files.empty()) return nullptr;
  TFile* F = FileOf(Files[0].Entry);
  return F && !F->Path.empty() ? &F->Text : nullptr;
}
