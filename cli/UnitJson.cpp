// One unit file's JSON (see UnitJson.h).
#include "UnitJson.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "DCU_Unit.h"
#include "DeclJson.h"
#include "LoadHint.h"
#include "UnitFactsJson.h"

namespace {

// The outline of a unit file up to this size is built in an arena of its
// own (it is written and let go at once) and its JSON may be written ahead;
// that of a larger one, whose JSON text would take hundreds of megabytes
// at once, on the heap, its JSON streamed as it is written.
constexpr int64_t LargestUnitWrittenAhead = int64_t{4} << 20;

// The listing and the JSON mark no runs: the texts alone are kept.
TDeclOutline OutlineToWrite(const TUnit& U, TUsedTypes* Used) {
  return BuildDeclOutline(
      U, TDeclOutlineOptions{.KeepSpans = false, .OwnArena = U.ImageSize <= LargestUnitWrittenAhead, .Used = Used});
}

}  // namespace

TLoadResult LoadFacts(const std::string& Path, bool WithDecls, TUsedTypes* Used) {
  TLoadResult R;
  std::function<void(const TUnit&)> TakeDecls;
  if (WithDecls) TakeDecls = [&R, Used](const TUnit& U) { R.Decls = OutlineToWrite(U, Used); };
  R.Unit = TryLoadUnit(Path, TakeDecls);
  if (WithDecls && !R.Unit.Facts) {
    // A damaged unit: the declarations read before the error.
    TUnitLoad Again;
    if (std::unique_ptr<TUnit> U = TryLoadUnitPartial(Path, Again)) {
      R.Decls = OutlineToWrite(*U, Used);
      R.Partial = true;
    }
  }
  return R;
}

bool WriteUnitJson(TJsonWriter& J, const std::string& Path, const TLoadResult& R) {
  const TUnitFacts* Facts = R.Unit.Facts ? &*R.Unit.Facts : nullptr;
  const std::string Error = Facts ? Facts->SummaryError() : R.Unit.Error;
  std::vector<TUnitJsonMember> Extra;
  if (R.DeclsJson) Extra.push_back({"decls", [&R](TJsonWriter& W) { W.RawItem(*R.DeclsJson); }});
  else if (R.Decls) Extra.push_back({"decls", [&R](TJsonWriter& W) { WriteDeclsJson(*R.Decls, W); }});
  const std::string Hint = Facts ? std::string() : LoadErrorHint(Path, R.Unit.Error);
  if (!Hint.empty()) Extra.push_back({"hint", [&Hint](TJsonWriter& W) { W.String(Hint); }});
  if (R.Partial) Extra.push_back({"partial", [](TJsonWriter& W) { W.Bool(true); }});
  WriteUnitFactsJson(J, Path, Facts, Error, Extra);
  return Facts && Error.empty();
}

void WriteDeclsAhead(TLoadResult& R) {
  // A large unit's (an outline on the heap) is left to be streamed.
  if (!R.Decls || !R.Decls->Memory) return;
  // In the array of units, in a unit's object: two containers deep.
  constexpr size_t UnitMemberDepth = 2;
  TJsonPieces& Out = R.DeclsJson.emplace();
  {
    TJsonWriter W(Out, UnitMemberDepth);
    WriteDeclsJson(*R.Decls, W);
  }
  R.Decls->DropAsBuilt();  // as LoadFacts built it
  R.Decls.reset();
}
