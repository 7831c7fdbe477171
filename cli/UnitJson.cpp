// The JSON text of unitpeek-dump --json (see UnitJson.h).
#include "UnitJson.h"

#include <charconv>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <vector>

#include "DCU_Unit.h"
#include "DeclJson.h"
#include "UnitSummary.h"

namespace {

// Writes values into Out with the line breaks and indentation of nlohmann's
// dump(2): every array item and object member on a line of its own, empty
// arrays and objects as [] and {}.
class TJsonWriter {
 public:
  explicit TJsonWriter(std::string& Out, size_t Depth) : Out(Out), Base(Depth) {}

  void BeginArray() { Open('['); }
  void EndArray() { Close(']'); }
  void BeginObject() { Open('{'); }
  void EndObject() { Close('}'); }
  void Key(std::string_view K) {
    NewItem();
    AppendString(K);
    Out += ": ";
    AfterKey = true;
  }
  void String(std::string_view S) {
    BeforeValue();
    AppendString(S);
  }
  void Number(int64_t V) {
    BeforeValue();
    char Buf[24];
    Out.append(Buf, std::to_chars(Buf, Buf + sizeof Buf, V).ptr);
  }
  void Bool(bool V) {
    BeforeValue();
    Out += V ? "true" : "false";
  }
  void Null() {
    BeforeValue();
    Out += "null";
  }
  // A value that Write puts into Out as it stands, laid out for this depth.
  template <class F>
  void Raw(F&& Write) {
    BeforeValue();
    Write(Out, Base + Items.size());
  }

 private:
  void Open(char C) {
    BeforeValue();
    Out += C;
    Items.push_back(0);
  }
  void Close(char C) {
    const size_t N = Items.back();
    Items.pop_back();
    if (N > 0) Indent();
    Out += C;
  }
  // A value after a key stays on the key's line; any other begins a new item.
  void BeforeValue() {
    if (AfterKey) AfterKey = false;
    else if (!Items.empty()) NewItem();
  }
  void NewItem() {
    if (Items.back()++ > 0) Out += ',';
    Indent();
  }
  void Indent() {
    Out += '\n';
    Out.append(2 * (Base + Items.size()), ' ');
  }
  void AppendString(std::string_view S) {
    bool Plain = true;
    for (char C : S) Plain = Plain && C >= 0x20 && C <= 0x7E && C != '"' && C != '\\';
    if (Plain) {
      Out += '"';
      Out += S;
      Out += '"';
    } else {
      // Escapes, and bytes that are no valid UTF-8 (a path) replaced.
      Out += nlohmann::json(std::string(S)).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    }
  }

  std::string& Out;
  size_t Base;                 // depth of the first value written
  std::vector<size_t> Items;  // items written so far in each open array or object
  bool AfterKey = false;
};

void StampIso(TJsonWriter& J, const TFileStamp& S) {
  if (S.State != TFileStamp::Valid) return J.Null();
  char Buf[32];
  std::snprintf(Buf, sizeof Buf, "%04d-%02d-%02dT%02d:%02d:%02d", S.Year, S.Month, S.Day, S.Hour, S.Minute,
                S.Second);
  J.String(Buf);
}

void UsesList(TJsonWriter& J, const TUnitFacts& U, uint8_t Kind) {
  J.BeginArray();
  for (const TUsedUnitFacts& E : U.UsedUnits)
    if (E.UseKind == Kind) J.String(DisplayUtf8(E.Name));
  J.EndArray();
}

}  // namespace

TFileJsonArray::TFileJsonArray(std::string& Out) : Out(Out) { Out += '['; }

void TFileJsonArray::Add(std::string_view Path, const TUnitFacts* F, std::string_view Error,
                         const TDeclOutline* Decls, const std::function<void(std::string&)>& Flush) {
  Out += Empty ? "\n" : ",\n";
  Out += "  ";
  Empty = false;
  TJsonWriter J(Out, 1);
  // Members in alphabetical order of their keys.
  J.BeginObject();
  if (F) {
    J.Key("debugInfo");
    J.Bool(F->DebugInfo);
  }
  if (F && Decls) {
    J.Key("decls");
    J.Raw([&](std::string& S, size_t Level) { WriteDeclsJson(*Decls, S, static_cast<int>(Level), Flush); });
  }
  J.Key("error");
  if (Error.empty()) J.Null();
  else J.String(Error);
  if (F) {
    J.Key("localSymbols");
    J.Bool(F->LocalSymbols);
  }
  J.Key("ok");
  J.Bool(F != nullptr);
  J.Key("path");
  J.String(Path);
  if (F) {
    J.Key("sourceFiles");
    J.BeginArray();
    for (const TSourceFileFacts& S : F->SourceFiles) {
      J.BeginObject();
      J.Key("kind");
      J.String(SourceKindName(S.Kind));
      J.Key("name");
      J.String(DisplayUtf8(S.Name));
      J.Key("stamp");
      StampIso(J, S.Stamp);
      J.Key("stampRaw");
      J.Number(S.RawStamp);
      J.EndObject();
    }
    J.EndArray();
    const TUnitStats& St = F->Stats;
    J.Key("stats");
    J.BeginObject();
    const std::pair<const char*, int64_t> Counts[] = {
        {"codeLines", St.CodeLines},       {"dataSize", St.DataSize},
        {"declarations", static_cast<int64_t>(St.Declarations)},
        {"fixups", St.Fixups},             {"lineRanges", St.LineRanges},
        {"localVars", St.LocalVars},       {"nameIndex", static_cast<int64_t>(St.NameIndex)},
        {"topLevelDecls", static_cast<int64_t>(St.TopLevelDecls)},
        {"types", static_cast<int64_t>(St.Types)}};
    for (const auto& [Key, Value] : Counts) {
      J.Key(Key);
      J.Number(Value);
    }
    J.EndObject();
    J.Key("unit");
    J.String(DisplayUtf8(F->UnitName));
    J.Key("uses");
    J.BeginObject();
    J.Key("dlls");
    UsesList(J, *F, DllImports);
    J.Key("implementation");
    UsesList(J, *F, ImplementationUses);
    J.Key("interface");
    UsesList(J, *F, InterfaceUses);
    J.EndObject();
    J.Key("version");
    J.Number(F->Version);
  }
  J.EndObject();
}

void TFileJsonArray::Finish() { Out += Empty ? "]" : "\n]"; }
