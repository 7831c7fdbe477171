// One unit file's JSON (see UnitJson.h).
#include "UnitJson.h"

#include <functional>
#include <memory>
#include <vector>

#include "DCU_Unit.h"
#include "DeclJson.h"
#include "LoadHint.h"
#include "UnitFactsJson.h"

TLoadResult LoadFacts(const std::string& Path, bool WithDecls, TUsedTypes* Used) {
  TLoadResult R;
  std::function<void(const TUnit&)> TakeDecls;
  // The listing and the JSON mark no runs: the texts alone are kept. The
  // outline is written and let go: in an arena of its own.
  const TDeclOutlineOptions Options{.KeepSpans = false, .OwnArena = true, .Used = Used};
  if (WithDecls) TakeDecls = [&R, &Options](const TUnit& U) { R.Decls = BuildDeclOutline(U, Options); };
  R.Unit = TryLoadUnit(Path, TakeDecls);
  if (WithDecls && !R.Unit.Facts) {
    // A damaged unit: the declarations read before the error.
    TUnitLoad Again;
    if (std::unique_ptr<TUnit> U = TryLoadUnitPartial(Path, Again)) {
      R.Decls = BuildDeclOutline(*U, Options);
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
  if (!R.Decls) return;
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
