// The synthetic unit-file builder: headers, tags, names, packed integers and tables (see UnitBuilder.h).
#include "UnitBuilder.h"

#include <fstream>

#include <stdexcept>

namespace unitbuilder {

uint32_t MagicOf(int Version) {
  switch (Version) {
    case 2: return 0x50505348;
    case 3: return 0x44518641;
    case 4: return 0x4768A6D8;
    case 5: return 0xF21F148B;
    case 6: return 0x0E0000DD;
    case 7: return 0xFF0000DF;
    case 100: return 0xF21F148C;
    case 101: return 0x0E0001DD;
    case 103: return 0x0F1001DD;
    default: throw std::invalid_argument("no such unit format version");
  }
}

UnitBuilder& UnitBuilder::Byte(uint8_t B) {
  Bytes.push_back(B);
  return *this;
}

UnitBuilder& UnitBuilder::Raw(std::initializer_list<uint8_t> Bs) {
  Bytes.insert(Bytes.end(), Bs.begin(), Bs.end());
  return *this;
}

UnitBuilder& UnitBuilder::Raw(const std::vector<uint8_t>& Bs) {
  Bytes.insert(Bytes.end(), Bs.begin(), Bs.end());
  return *this;
}

UnitBuilder& UnitBuilder::Fill(size_t N, uint8_t B) {
  Bytes.insert(Bytes.end(), N, B);
  return *this;
}

UnitBuilder& UnitBuilder::DWord(uint32_t V) {
  for (int I = 0; I < 4; ++I) Bytes.push_back(static_cast<uint8_t>(V >> (8 * I)));
  return *this;
}

UnitBuilder& UnitBuilder::Name(std::string_view S) {
  if (S.size() > 255) S = S.substr(0, 255);
  Bytes.push_back(static_cast<uint8_t>(S.size()));
  Bytes.insert(Bytes.end(), S.begin(), S.end());
  return *this;
}

static void PutLE(std::vector<uint8_t>& Out, uint32_t W, int N) {
  for (int I = 0; I < N; ++I) Out.push_back(static_cast<uint8_t>(W >> (8 * I)));
}

UnitBuilder& UnitBuilder::PackedUIntForm(uint32_t V, int Len) {
  switch (Len) {
    case 1: PutLE(Bytes, V << 1, 1); break;
    case 2: PutLE(Bytes, (V << 2) | 1, 2); break;
    case 3: PutLE(Bytes, (V << 3) | 3, 3); break;
    case 4: PutLE(Bytes, (V << 4) | 7, 4); break;
    case 5: Bytes.push_back(0x0F); DWord(V); break;
    default: throw std::invalid_argument("packed form length 1..5");
  }
  return *this;
}

UnitBuilder& UnitBuilder::PackedUInt(uint32_t V) {
  int Len = V < 0x80 ? 1 : V < 0x4000 ? 2 : V < 0x200000 ? 3 : V < 0x10000000 ? 4 : 5;
  return PackedUIntForm(V, Len);
}

UnitBuilder& UnitBuilder::PackedIntForm(int32_t V, int Len) {
  uint32_t U = static_cast<uint32_t>(V);
  if (Len == 5) {
    Bytes.push_back(0x0F);
    return DWord(U);
  }
  return PackedUIntForm(U & ((1u << (8 * Len - Len)) - 1), Len);
}

UnitBuilder& UnitBuilder::PackedInt(int32_t V) {
  int Len = (V >= -64 && V < 64)             ? 1
            : (V >= -8192 && V < 8192)       ? 2
            : (V >= -1048576 && V < 1048576) ? 3
            : (V >= -134217728 && V < 134217728) ? 4
                                                 : 5;
  return PackedIntForm(V, Len);
}

UnitBuilder& UnitBuilder::Packed9(uint32_t Low, uint32_t High, uint8_t Flag) {
  Bytes.push_back(static_cast<uint8_t>(0x0F | (Flag << 4)));
  DWord(Low);
  return DWord(High);
}

UnitBuilder& UnitBuilder::Header(uint32_t Flags, bool WithExtra, uint32_t Extra1, uint32_t Extra2) {
  DWord(MagicOf(Version));
  DWord(0);  // length, patched by Finish
  DWord(0);
  if (Version == 2) {
    Byte(0);
    return *this;  // first tag follows at offset 13
  }
  DWord(Flags);
  Byte(0);
  if (Version >= 7 && Version < 100) Byte(0);
  if (Version >= 100) {
    Byte(0x0F);
    DWord(0);
  }
  if (WithExtra) {
    Byte(0x96);
    PackedUInt(Extra1);
    if (Version > 3) PackedUInt(Extra2);
  }
  return *this;
}

UnitBuilder& UnitBuilder::SourceFile(std::string_view FileName, uint8_t Kind, uint32_t Time,
                                     uint32_t Extra) {
  Byte(Kind);
  Name(FileName);
  DWord(Time);
  return PackedUInt(Extra);
}

UnitBuilder& UnitBuilder::Uses(uint8_t ListTag, std::string_view UnitName, uint32_t Stamp) {
  Byte(ListTag);
  Name(UnitName);
  DWord(Stamp);
  if (Version >= 7 && Version < 100) DWord(0);
  return *this;
}

UnitBuilder& UnitBuilder::ImpType(std::string_view N, uint32_t Stamp) {
  Byte(0x66);
  Name(N);
  return DWord(Stamp);
}

UnitBuilder& UnitBuilder::ImpTypeDef(std::string_view N, uint32_t RTTISize, uint32_t Stamp) {
  Byte(0x6E);
  Name(N);
  PackedUInt(RTTISize);
  return DWord(Stamp);
}

UnitBuilder& UnitBuilder::ImpAddr(std::string_view N, uint32_t Stamp) {
  Byte(0x67);
  Name(N);
  return DWord(Stamp);
}

UnitBuilder& UnitBuilder::DataBlock(uint32_t Size, uint8_t FillByte) {
  Byte(0x6C);
  PackedUInt(Size);
  return Fill(Size, FillByte);
}

UnitBuilder& UnitBuilder::Fixups(const std::vector<FixupEntry>& Entries) {
  Byte(0x6D);
  PackedUInt(static_cast<uint32_t>(Entries.size()));
  for (const FixupEntry& E : Entries) {
    PackedUInt(E.OfsDelta);
    Byte(E.Kind);
    PackedUInt(E.Decl);
  }
  return *this;
}

UnitBuilder& UnitBuilder::DataBlockBytes(const std::vector<uint8_t>& Block) {
  Byte(0x6C);
  PackedUInt(static_cast<uint32_t>(Block.size()));
  return Raw(Block);
}

UnitBuilder& UnitBuilder::FixupTable(const std::vector<FixupAt>& Entries) {
  std::vector<FixupEntry> Deltas;
  uint32_t At = 0;
  for (const FixupAt& E : Entries) {
    if (E.Ofs < At) throw std::invalid_argument("fixups out of offset order");
    Deltas.push_back({E.Ofs - At, E.Kind, E.Decl});
    At = E.Ofs;
  }
  return Fixups(Deltas);
}

UnitBuilder& UnitBuilder::CodeLines(const std::vector<std::pair<int32_t, uint32_t>>& Lines) {
  Byte(0x90);
  PackedUInt(static_cast<uint32_t>(Lines.size()));
  int32_t Line = 0;
  uint32_t Ofs = 0;
  for (const auto& [L, O] : Lines) {
    PackedInt(L - Line);
    PackedUInt(O - Ofs);
    Line = L;
    Ofs = O;
  }
  return *this;
}

UnitBuilder& UnitBuilder::LineRanges(const std::vector<LineRange>& Ranges) {
  Byte(0x91);
  PackedUInt(static_cast<uint32_t>(Ranges.size()));
  for (const LineRange& R : Ranges) {
    PackedUInt(R.FirstLine);
    PackedUInt(R.Count);
    PackedUInt(R.File);
  }
  return *this;
}

UnitBuilder& UnitBuilder::FHead(uint8_t Tag, std::string_view N, uint32_t Flags, uint32_t Stamp) {
  Byte(Tag);
  Name(N);
  PackedUInt(Flags);
  if (Flags & 0x40) DWord(Stamp);
  return *this;
}

UnitBuilder& UnitBuilder::TypeDecl(std::string_view N, uint32_t TypeIndex, uint32_t Flags) {
  FHead(0x2A, N, Flags);
  return PackedUInt(TypeIndex);
}

UnitBuilder& UnitBuilder::VarDecl(std::string_view N, uint32_t TypeIndex, uint32_t Ofs,
                                  uint32_t Flags, uint8_t Tag) {
  FHead(Tag, N, Flags);
  PackedUInt(TypeIndex);
  return PackedUInt(Ofs);
}

UnitBuilder& UnitBuilder::ConstDecl(std::string_view N, uint32_t TypeIndex, int32_t Value,
                                    uint32_t Flags) {
  FHead(0x25, N, Flags);
  PackedUInt(TypeIndex);
  if (Version > 4) PackedUInt(0);
  PackedUInt(0);  // value size 0: an ordinal follows
  return PackedInt(Value);
}

UnitBuilder& UnitBuilder::ProcStart(std::string_view N, uint32_t CodeSize, uint32_t Flags,
                                    uint32_t ResultType) {
  FHead(0x28, N, Flags);
  PackedUInt(0);  // procedure info
  PackedUInt(CodeSize);
  if (Version > 2) PackedInt(0);  // flag word
  return PackedUInt(ResultType);
}

UnitBuilder& UnitBuilder::NoBodyProc(std::string_view N, uint32_t CodeSize, uint32_t Flags) {
  FHead(0x28, N, Flags);
  PackedUInt(0);
  return PackedUInt(CodeSize);
}

UnitBuilder& UnitBuilder::Local(uint8_t Tag, std::string_view N, uint32_t TypeIndex, int32_t Location,
                                uint32_t Flags) {
  if (Flags == DefaultFlags) Flags = Tag == 0x21 || Tag == 0x22 ? ParamFlags : 0;
  Byte(Tag);
  Name(N);
  PackedUInt(Flags);
  PackedUInt(TypeIndex);
  return PackedInt(Location);
}

UnitBuilder& UnitBuilder::TypeDefHead(uint8_t Tag, uint32_t RTTISize, int32_t Size, uint32_t HeadV) {
  Byte(Tag);
  PackedUInt(RTTISize);
  PackedInt(Size);
  return PackedUInt(HeadV);
}

UnitBuilder& UnitBuilder::EnumDef(int32_t Lo, int32_t Hi, uint32_t BaseType, uint32_t RTTISize) {
  TypeDefHead(0x43, RTTISize, 1);
  PackedUInt(BaseType);
  PackedInt(0);  // EnumNdx
  PackedInt(Lo);
  PackedInt(Hi);
  return Byte(0);
}

UnitBuilder& UnitBuilder::RangeDef(int32_t Lo, int32_t Hi, uint8_t Tag, uint32_t BaseType) {
  TypeDefHead(Tag, 0, 4);
  PackedUInt(BaseType);
  PackedInt(Lo);
  PackedInt(Hi);
  return Byte(0);
}

UnitBuilder& UnitBuilder::MinimalStart(std::string_view UnitName, uint32_t DataSize) {
  Header();
  SourceFile(std::string(UnitName) + ".pas");
  DataBlock(DataSize);
  return TrivialFixups();
}

void PatchStoredLength(std::vector<uint8_t>& Bytes) {
  if (Bytes.size() < 8) return;
  uint32_t L = static_cast<uint32_t>(Bytes.size());
  for (int I = 0; I < 4; ++I) Bytes[4 + I] = static_cast<uint8_t>(L >> (8 * I));
}

void UnitBuilder::PatchLength() { PatchStoredLength(Bytes); }

std::vector<uint8_t> UnitBuilder::Finish() {
  PatchLength();
  return Bytes;
}

std::vector<uint8_t> MinimalUnit(int Version, std::string_view UnitName) {
  UnitBuilder B(Version);
  B.MinimalStart(UnitName).Stop();
  return B.Finish();
}

bool WriteUnitFile(const std::string& Path, const std::vector<uint8_t>& Bytes) {
  std::ofstream Out(Path, std::ios::binary | std::ios::trunc);
  Out.write(reinterpret_cast<const char*>(Bytes.data()), static_cast<std::streamsize>(Bytes.size()));
  Out.close();
  return static_cast<bool>(Out);
}

std::vector<uint8_t> LongStringLiteral(std::string_view S) {
  std::vector<uint8_t> B = {0xFF, 0xFF, 0xFF, 0xFF};
  for (int I = 0; I < 4; ++I) B.push_back(static_cast<uint8_t>(S.size() >> (8 * I)));
  B.insert(B.end(), S.begin(), S.end());
  B.push_back(0);
  return B;
}

}  // namespace unitbuilder
