// The plain sentence beside a load error (see LoadHint.h).
#include "LoadHint.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <optional>

namespace {

// The hex number after Key in Text ("0x30D40" after "Wrong size: "), from At on.
std::optional<unsigned long long> HexAfter(std::string_view Text, std::string_view Key, size_t& At) {
  const size_t K = Text.find(Key, At);
  if (K == std::string_view::npos) return std::nullopt;
  size_t I = K + Key.size();
  if (Text.substr(I, 2) != "0x") return std::nullopt;
  I += 2;
  unsigned long long V = 0;
  size_t Digits = 0;
  for (; I < Text.size() && Digits < 16; ++I, ++Digits) {
    const char C = Text[I];
    const int D = C >= '0' && C <= '9' ? C - '0' : C >= 'A' && C <= 'F' ? C - 'A' + 10 : C >= 'a' && C <= 'f' ? C - 'a' + 10 : -1;
    if (D < 0) break;
    V = V * 16 + static_cast<unsigned>(D);
  }
  if (Digits == 0) return std::nullopt;
  At = I;
  return V;
}

// Whether the file's first bytes are text: printable ASCII, line breaks and
// tabs, or UTF-8 (a byte order mark too).
bool LooksLikeText(const std::string& Path) {
  std::ifstream In(Path, std::ios::binary);
  char Buf[512];
  In.read(Buf, sizeof Buf);
  const std::streamsize N = In.gcount();
  if (N < 4) return false;
  for (std::streamsize I = 0; I < N; ++I) {
    const auto B = static_cast<unsigned char>(Buf[I]);
    if (B < 0x20 && B != '\t' && B != '\n' && B != '\r' && B != '\f') return false;
    if (B == 0x7F) return false;
  }
  return true;
}

std::string MagicHint(const std::string& Path, unsigned long long Magic) {
  if (LooksLikeText(Path)) return "This is a text file, not a compiled unit.";
  // The magics of the units of the later releases keep the form of the last
  // ones read (0x0E0000DD, 0x0F0000DF): a format byte on top, above those
  // (0x12000023, 0x1700034B, 0x1B00034D), a zero byte under it.
  const unsigned Format = (Magic >> 24) & 0xFF;
  if (Format >= 0x10 && Format < 0x40 && ((Magic >> 16) & 0xFF) == 0) {
    char B[128];
    std::snprintf(B, sizeof B, "A unit of a later compiler release (format byte 0x%02X), which this version does not read.",
                  Format);
    return B;
  }
  return "The file does not begin as a compiled unit of any release does.";
}

}  // namespace

std::string GroupedNumber(unsigned long long N) {
  std::string Digits = std::to_string(N), S;
  for (size_t I = 0; I < Digits.size(); ++I) {
    if (I > 0 && (Digits.size() - I) % 3 == 0) S += ',';
    S += Digits[I];
  }
  return S;
}

std::string LoadErrorHint(const std::string& Path, std::string_view Error) {
  size_t At = 0;
  if (Error.find("): Wrong size: ") != std::string_view::npos) {
    const auto Is = HexAfter(Error, "Wrong size: ", At), Says = HexAfter(Error, "<>", At);
    if (!Is || !Says) return {};
    const std::string Sizes = "The file is " + GroupedNumber(*Is) + " bytes; its header says " + GroupedNumber(*Says);
    return Sizes + (*Is < *Says ? ": it was cut short." : ": something was added after its end.");
  }
  if (const auto Magic = HexAfter(Error, "): Wrong magic: ", At)) return MagicHint(Path, *Magic);
  const bool AtStart = Error.rfind("Error at 0x0", 0) == 0 && Error.size() > 12 && !std::isxdigit(static_cast<unsigned char>(Error[12]));
  if (AtStart && Error.find("): Wrong block size ") != std::string_view::npos)
    return "The file is too short for a compiled unit.";
  if (Error.rfind("Cannot read file", 0) == 0 && Error.size() >= 15 &&
      Error.substr(Error.size() - 14) == "Is a directory")
    return "This is a folder, not a unit file.";
  return {};
}
