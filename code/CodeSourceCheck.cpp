// The check of a unit's source file against its line table (see CodeSourceCheck.h).
#include "CodeSourceCheck.h"

#include <algorithm>

namespace {

char Lower(char C) { return C >= 'A' && C <= 'Z' ? static_cast<char>(C - 'A' + 'a') : C; }
bool IsWordChar(char C) {
  return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || (C >= '0' && C <= '9') || C == '_' ||
         static_cast<unsigned char>(C) >= 0x80;
}

bool SameNoCase(std::string_view A, std::string_view B) {
  return A.size() == B.size() && std::equal(A.begin(), A.end(), B.begin(), [](char X, char Y) {
           return Lower(X) == Lower(Y);
         });
}

std::string_view Trimmed(std::string_view S) {
  while (!S.empty() && (S.front() == ' ' || S.front() == '\t')) S.remove_prefix(1);
  while (!S.empty() && (S.back() == ' ' || S.back() == '\t' || S.back() == '\r')) S.remove_suffix(1);
  return S;
}

// Takes the word at the start of S (letters, digits, '_'); empty: none.
std::string_view TakeWord(std::string_view& S) {
  size_t N = 0;
  while (N < S.size() && IsWordChar(S[N])) ++N;
  std::string_view W = S.substr(0, N);
  S = Trimmed(S.substr(N));
  return W;
}

// The bare name of the routine a heading line declares ("Click" for
// "procedure TForm1.Click(Sender: TObject);"); empty: not a heading.
std::string_view HeadingName(std::string_view Line) {
  Line = Trimmed(Line);
  std::string_view W = TakeWord(Line);
  if (SameNoCase(W, "class")) W = TakeWord(Line);
  if (!SameNoCase(W, "procedure") && !SameNoCase(W, "function") && !SameNoCase(W, "constructor") &&
      !SameNoCase(W, "destructor") && !SameNoCase(W, "operator"))
    return {};
  std::string_view Name = TakeWord(Line);
  while (!Line.empty() && Line.front() == '.') {
    Line = Trimmed(Line.substr(1));
    Name = TakeWord(Line);
  }
  return Name;
}

// Whether the line holds the word begin or asm, or external (the code of a
// routine imported from a library starts at its heading's end).
bool HasBlockStart(std::string_view Line) {
  for (size_t I = 0; I < Line.size(); ++I) {
    if (!IsWordChar(Line[I]) || (I > 0 && IsWordChar(Line[I - 1]))) continue;
    size_t N = I;
    while (N < Line.size() && IsWordChar(Line[N])) ++N;
    const std::string_view W = Line.substr(I, N - I);
    if (SameNoCase(W, "begin") || SameNoCase(W, "asm") || SameNoCase(W, "external")) return true;
    I = N;
  }
  return false;
}

bool IsWithin(const std::vector<TSourceCheckRoutine>& Rs, size_t Inner, size_t Outer) {
  for (int64_t O = Rs[Inner].Owner; O >= 0 && size_t(O) < Rs.size(); O = Rs[size_t(O)].Owner)
    if (size_t(O) == Outer) return true;
  return false;
}

struct TLines {
  std::vector<std::string_view> Of;  // line 1 at index 0
  explicit TLines(std::string_view Text) {
    size_t From = 0;
    while (From < Text.size()) {
      size_t End = Text.find('\n', From);
      if (End == std::string_view::npos) End = Text.size();
      Of.push_back(Text.substr(From, End - From));
      From = End + 1;
    }
  }
};

// Whether routine I begins where the unit says: going up from its first
// line (its begin, or its first statement when it has no stack frame), a
// begin or asm comes before any routine heading, and a heading naming the
// routine comes before the end of the named routine above (its nested ones
// aside).
bool RoutineFits(const TLines& L, const std::vector<TSourceCheckRoutine>& Rs, size_t I) {
  const TSourceCheckRoutine& R = Rs[I];
  int32_t Before = 0;
  for (size_t J = 0; J < Rs.size(); ++J)
    if (J != I && !Rs[J].Name.empty() && Rs[J].LastLine > 0 && Rs[J].LastLine < R.FirstLine && !IsWithin(Rs, J, I))
      Before = std::max(Before, Rs[J].LastLine);
  std::string_view Bare = R.Name;
  if (const size_t Dot = Bare.rfind('.'); Dot != std::string_view::npos) Bare = Bare.substr(Dot + 1);
  bool Begun = false;
  // The line after the file's last has no text to look at.
  for (int32_t Line = std::min(R.FirstLine, int32_t(L.Of.size())); Line > Before; --Line) {
    const std::string_view Text = L.Of[size_t(Line - 1)];
    Begun = Begun || HasBlockStart(Text);
    const std::string_view H = HeadingName(Text);
    if (H.empty()) continue;
    // Its own heading after its begin; another heading before it: not this routine.
    if (SameNoCase(H, Bare) || !Begun) return Begun && SameNoCase(H, Bare);
  }
  return false;
}

}  // namespace

void CheckSourceText(std::string_view Text, const std::vector<TSourceCheckRoutine>& Routines, TSourceCheck& Out) {
  const TLines L(Text);
  Out.Matches = true;
  Out.Why.clear();
  Out.Checked = Out.Failed = 0;
  int32_t Last = 0;
  for (const TSourceCheckRoutine& R : Routines) Last = std::max(Last, R.LastLine);
  // The unit's last line may be the one after the file's last (its end).
  if (size_t(Last) > L.Of.size() + 1) {
    Out.Matches = false;
    Out.Why = "The file has " + std::to_string(L.Of.size()) + " lines; the unit has code on line " +
              std::to_string(Last) + ".";
    return;
  }
  std::string FirstFailed;
  for (size_t I = 0; I < Routines.size(); ++I) {
    const TSourceCheckRoutine& R = Routines[I];
    if (R.Name.empty() || R.FirstLine <= 0) continue;
    ++Out.Checked;
    if (RoutineFits(L, Routines, I)) continue;
    if (Out.Failed++ == 0) FirstFailed = R.Name + " at line " + std::to_string(R.FirstLine);
  }
  if (Out.Failed == 0 || Out.Failed * 10 <= Out.Checked) return;
  Out.Matches = false;
  Out.Why = std::to_string(Out.Failed) + " of " + std::to_string(Out.Checked) +
            " routines do not begin where the unit says they do (the first: " + FirstFailed + ").";
}
