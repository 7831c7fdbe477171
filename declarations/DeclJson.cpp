// The declarations outline as JSON (see DeclJson.h).
#include "DeclJson.h"

#include <algorithm>
#include <vector>

#include "DeclListing.h"

namespace {

// A pretty-printing JSON writer, which writes flat (on one line, without
// blanks) while asked to. Keys must be given in sorted order by the caller
// (the order nlohmann::json keeps them in).
class TJsonOut {
 public:
  TJsonOut(std::string& S, int Level) : S(S), Level(Level) { Line.KeepSpans = false; }

  // The "text" of an entry or member: its one-line rendering.
  template <class T, class F>
  void Text(const T& Item, F Render) {
    Line.Text.clear();
    Render(Item, Line);
    KeyStr("text", Line.Text);
  }

  void Open(char C) {
    S.append(1, C);
    First.push_back(true);
    ++Level;
  }
  void Close(char C) {
    --Level;
    if (!First.back()) NewLine(false);
    First.pop_back();
    S.append(1, C);
  }
  // Before each member of an object (with its key) or element of an array.
  // Keys are plain words: no escapes.
  void Key(std::string_view K) {
    Next();
    S.append(1, '"').append(K).append("\": ", Flat ? 2 : 3);
  }
  void SetFlat(bool F) { Flat = F; }
  void Next() {
    NewLine(!First.back());
    First.back() = false;
  }
  void Str(std::string_view V) {
    S.append(1, '"');
    size_t From = 0;
    for (size_t I = 0; I < V.size(); ++I) {
      auto U = static_cast<unsigned char>(V[I]);
      if (U >= 0x20 && U != '"' && U != '\\') continue;
      S.append(V.data() + From, I - From);
      From = I + 1;
      if (U >= 0x20) {
        S += '\\';
        S += static_cast<char>(U);
      } else {
        static const char* Hex = "0123456789abcdef";
        S += "\\u00";
        S += Hex[U >> 4];
        S += Hex[U & 15];
      }
    }
    S.append(V.data() + From, V.size() - From);
    S.append(1, '"');
  }
  void Num(int64_t V) { S += std::to_string(V); }
  void Bool(bool V) { S += V ? "true" : "false"; }

  void KeyStr(std::string_view K, std::string_view V) { Key(K), Str(V); }
  void KeyNum(std::string_view K, int64_t V) { Key(K), Num(V); }

 private:
  // A line break and the indentation of the level, after a comma if asked.
  void NewLine(bool Comma) {
    if (Flat) {
      if (Comma) S.append(1, ',');
      return;
    }
    static const std::string Breaks = ",\n" + std::string(128, ' ');
    const size_t Width = std::min<size_t>(static_cast<size_t>(Level) * 2, 128);
    S.append(Breaks, Comma ? 0 : 1, Width + (Comma ? 2 : 1));
  }
  std::string& S;
  int Level;
  bool Flat = false;
  std::vector<bool> First;
  TDeclText Line;
};

void Params(TJsonOut& J, const std::vector<TDeclParam>& Ps) {
  J.Open('[');
  for (const TDeclParam& P : Ps) {
    J.Next();
    J.Open('{');
    J.KeyStr("mode", P.Mode == TParamMode::Var ? "var" : "value");
    J.KeyStr("name", P.Name);
    J.KeyStr("type", P.Type.Text);
    J.Close('}');
  }
  J.Close(']');
}

// The keys of a routine, interleaved in sorted order with the others by the
// callers: "callConv" comes before, "params" and "result" after "offset".
void CallConv(TJsonOut& J, const TDeclRoutine& R) {
  if (R.Known) J.KeyStr("callConv", DeclCallConvName(R.CallConv));
}
void ParamsAndResult(TJsonOut& J, const TDeclRoutine& R) {
  if (!R.Known) return;
  J.Key("params");
  Params(J, R.Params);
  if (R.IsFunction) J.KeyStr("result", R.Result.Text);
}

void Member(TJsonOut& J, const TDeclMember& M) {
  const bool Prop = M.Kind == TMemberKind::Property;
  const bool Routine = !Prop && M.Kind != TMemberKind::Field;
  J.Open('{');
  if (Routine) CallConv(J, M.Routine);
  if (Prop && M.Default) J.KeyNum("default", *M.Default);
  if (Prop && M.DispId) J.KeyNum("dispid", *M.DispId);
  if (Prop && M.Index) J.KeyNum("index", *M.Index);
  J.KeyStr("kind", MemberKindName(M.Kind));
  J.KeyStr("name", M.Name);
  J.KeyNum("offset", M.Offset);
  if (Routine) ParamsAndResult(J, M.Routine);
  if (Prop && !M.IndexParams.empty()) {
    J.Key("params");
    Params(J, M.IndexParams);
  }
  if (Prop && !M.ReadAccess.empty()) J.KeyStr("read", M.ReadAccess);
  if (Prop && !M.StoredAccess.empty()) J.KeyStr("stored", M.StoredAccess);
  J.Text(M, AppendMemberLine);
  if (!Routine) J.KeyStr("type", M.Type.Text);
  if (Prop && !M.WriteAccess.empty()) J.KeyStr("write", M.WriteAccess);
  J.Close('}');
}

bool HasMembers(const TDeclEntry& E) {
  return !E.Members.empty() || E.TypeKind == "record" || E.TypeKind == "class" || E.TypeKind == "object" ||
         E.TypeKind == "interface" || E.TypeKind == "dispinterface";
}

void Entry(TJsonOut& J, const TDeclEntry& E) {
  const bool Type = E.Kind == TDeclKind::Type;
  const bool Data = E.Kind == TDeclKind::Const || E.Kind == TDeclKind::ResourceString ||
                    E.Kind == TDeclKind::Var || E.Kind == TDeclKind::ThreadVar;
  const bool Routine = E.Kind == TDeclKind::Procedure || E.Kind == TDeclKind::Function;
  const bool Exports = E.Kind == TDeclKind::Exports;
  J.Open('{');
  if (Data && E.Absolute) J.KeyStr("absolute", E.AbsoluteTarget);
  if (Type || Routine) CallConv(J, E.Routine);
  if (Data && E.DataSize >= 0) J.KeyNum("dataSize", E.DataSize);
  if (Type && !E.Guid.empty()) J.KeyStr("guid", E.Guid);
  if (Exports && E.ExportIndex) J.KeyNum("index", E.ExportIndex);
  J.KeyStr("kind", DeclKindName(E.Kind));
  if (Type && HasMembers(E)) {
    J.Key("members");
    J.Open('[');
    for (const TDeclMember& M : E.Members) {
      J.Next();
      Member(J, M);
    }
    J.Close(']');
  }
  J.KeyStr("name", E.Name);
  J.KeyNum("offset", E.Offset);
  if (Type || Routine) ParamsAndResult(J, E.Routine);
  if (Routine && E.SystemProc) J.Key("system"), J.Bool(true);
  if (Exports) J.KeyStr("target", E.ExportTarget);
  J.Text(E, AppendEntryLine);
  if (Data) J.KeyStr("type", E.Type.Text);
  if (Type) J.KeyStr("typeKind", E.TypeKind);
  if (Data && !E.TypeUnit.empty()) J.KeyStr("typeUnit", E.TypeUnit);
  if (Data && E.Typed) J.Key("typed"), J.Bool(true);
  if (Type && !E.TypeUnit.empty()) J.KeyStr("unit", E.TypeUnit);
  if (Data && E.OrdValue) J.KeyNum("value", *E.OrdValue);
  if (Data && !E.ValueBytes.empty()) J.KeyStr("valueBytes", E.ValueBytes);
  if (Type && !E.Values.empty()) {
    J.Key("values");
    J.Open('[');
    for (const std::string& V : E.Values) J.Next(), J.Str(V);
    J.Close(']');
  }
  J.Close('}');
}

void Section(TJsonOut& J, const TDeclSection& S, std::string& Out, const std::function<void(std::string&)>& Flush) {
  J.Open('[');
  for (const TDeclBlock& B : S.Blocks)
    for (const TDeclEntry& E : B.Entries) {
      // One declaration a line.
      J.Next();
      J.SetFlat(true);
      Entry(J, E);
      J.SetFlat(false);
      if (Flush && Out.size() >= (1u << 20)) Flush(Out);
    }
  J.Close(']');
}

}  // namespace

void WriteDeclsJson(const TDeclOutline& O, std::string& Out, int Level,
                    const std::function<void(std::string&)>& Flush) {
  TJsonOut J(Out, Level);
  J.Open('{');
  J.Key("implementation");
  Section(J, O.Implementation, Out, Flush);
  J.Key("interface");
  Section(J, O.Interface, Out, Flush);
  J.Close('}');
}

nlohmann::json DeclsJson(const TDeclOutline& O) {
  std::string S;
  WriteDeclsJson(O, S);
  return nlohmann::json::parse(S);
}
