// Synthetic unit-file builder for tests, sample units, fuzz seeds and
// benchmarks: writes bytes, dwords, names, tags and packed integers in any
// form, a valid header for every format version, and the common tables.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace unitbuilder {

// The magic number that selects a format version (first one of the table).
uint32_t MagicOf(int Version);

struct FixupEntry {
  uint32_t OfsDelta;
  uint8_t Kind;
  uint32_t Decl;
};

// A fixup at an offset of the data block (FixupTable writes the deltas).
struct FixupAt {
  uint32_t Ofs;
  uint8_t Kind;
  uint32_t Decl;
};

// A line range: lines FirstLine .. FirstLine + Count - 1 of source file File
// (0-based in the source-file list).
struct LineRange {
  uint32_t FirstLine;
  uint32_t Count;
  uint32_t File;
};

class UnitBuilder {
 public:
  explicit UnitBuilder(int Version = 7) : Version(Version) {}

  int Version;
  std::vector<uint8_t> Bytes;

  size_t Size() const { return Bytes.size(); }

  UnitBuilder& Byte(uint8_t B);
  UnitBuilder& Raw(std::initializer_list<uint8_t> Bs);
  UnitBuilder& Raw(const std::vector<uint8_t>& Bs);
  UnitBuilder& Fill(size_t N, uint8_t B = 0);
  UnitBuilder& DWord(uint32_t V);
  UnitBuilder& Tag(uint8_t T) { return Byte(T); }
  // Length byte and text; texts longer than 255 bytes are cut.
  UnitBuilder& Name(std::string_view S);

  // Packed unsigned in its shortest form.
  UnitBuilder& PackedUInt(uint32_t V);
  // Packed unsigned in a chosen form of 1 to 5 bytes (V must fit the form).
  UnitBuilder& PackedUIntForm(uint32_t V, int Len);
  // Packed signed in its shortest form / in a chosen form of 1 to 5 bytes.
  UnitBuilder& PackedInt(int32_t V);
  UnitBuilder& PackedIntForm(int32_t V, int Len);
  // The 9-byte form: flag byte (upper nibble Flag, must be non-zero), the low
  // dword, then the high dword. Readers of version 2 and 3 take only 5 bytes.
  UnitBuilder& Packed9(uint32_t Low, uint32_t High, uint8_t Flag = 1);

  // Header of Version up to and including the tag that opens the source
  // file list is NOT written: the next tag written is the first tag.
  // For versions 100 and up one tagHeaderLong with a dword is written first
  // (so the following tag opens the source files). Extra values add header
  // tag 0x96 with one (version 3 and below) or two packed values.
  UnitBuilder& Header(uint32_t Flags = 0, bool WithExtra = false, uint32_t Extra1 = 0,
                      uint32_t Extra2 = 0);

  // Source-file entry: tag 0x70 'p', 0x71 'q', 0x72 'r' (or 0x73), name,
  // time stamp, closing packed value.
  UnitBuilder& SourceFile(std::string_view FileName, uint8_t Kind = 0x70,
                          uint32_t Time = 0x2A5B3C4D, uint32_t Extra = 0);
  // Opens a used-unit entry of list tag 0x64, 0x65 or 0x68 (the second dword
  // of versions 7..99 is written too). End it with EndEntry().
  UnitBuilder& Uses(uint8_t ListTag, std::string_view UnitName, uint32_t Stamp = 0x11223344);
  UnitBuilder& ImpType(std::string_view Name, uint32_t Stamp = 0x55667788);
  UnitBuilder& ImpTypeDef(std::string_view Name, uint32_t RTTISize, uint32_t Stamp = 0x55667788);
  UnitBuilder& ImpAddr(std::string_view Name, uint32_t Stamp = 0x99AABBCC);
  UnitBuilder& EndEntry() { return Byte(0x63); }

  // Data block (tag 0x6C) of Size bytes of value Fill.
  UnitBuilder& DataBlock(uint32_t Size, uint8_t Fill = 0x90);
  // Fixup table (tag 0x6D).
  UnitBuilder& Fixups(const std::vector<FixupEntry>& Entries);
  // One fixup entry that hands out nothing, enough to pass the end check.
  UnitBuilder& TrivialFixups() { return Fixups({{0, 0, 0}}); }
  // Data block (tag 0x6C) holding Block, e.g. machine code.
  UnitBuilder& DataBlockBytes(const std::vector<uint8_t>& Block);
  // Fixup table (tag 0x6D) from entries at offsets, in offset order.
  UnitBuilder& FixupTable(const std::vector<FixupAt>& Entries);
  // Code-line table (tag 0x90): (line, offset in the data block) pairs in
  // offset order.
  UnitBuilder& CodeLines(const std::vector<std::pair<int32_t, uint32_t>>& Lines);
  // Line-range table (tag 0x91).
  UnitBuilder& LineRanges(const std::vector<LineRange>& Ranges);

  // ---- Declarations (after the tag, the head of a named declaration) ----
  // Tag, name, packed flags, and the stamp when the flags have bit 0x40.
  UnitBuilder& FHead(uint8_t Tag, std::string_view Name, uint32_t Flags = 0x40,
                     uint32_t Stamp = 0x01020304);
  // Type declaration (tag 0x2A) naming type number TypeIndex.
  UnitBuilder& TypeDecl(std::string_view Name, uint32_t TypeIndex, uint32_t Flags = 0x40);
  // Variable (tag 0x20 at the top level), typed constant (0x27) and the
  // other variable-like records: type number and offset after the head.
  UnitBuilder& VarDecl(std::string_view Name, uint32_t TypeIndex, uint32_t Ofs = 0,
                       uint32_t Flags = 0x40, uint8_t Tag = 0x20);
  // Ordinal constant (tag 0x25); the auxiliary number is written for version > 4.
  UnitBuilder& ConstDecl(std::string_view Name, uint32_t TypeIndex, int32_t Value,
                         uint32_t Flags = 0x40);
  // Procedure head (tag 0x28) with its body part up to the nested list;
  // write parameters and locals, then Stop(). A no-body name ("" or ".")
  // must use NoBodyProc instead.
  UnitBuilder& ProcStart(std::string_view Name, uint32_t CodeSize, uint32_t Flags = 0x40,
                         uint32_t ResultType = 0);
  // A whole procedure without nested declarations.
  UnitBuilder& Proc(std::string_view Name, uint32_t CodeSize, uint32_t Flags = 0x40) {
    return ProcStart(Name, CodeSize, Flags).Stop();
  }
  // Procedure whose name has no body part: head, info and code size only.
  UnitBuilder& NoBodyProc(std::string_view Name, uint32_t CodeSize, uint32_t Flags = 0);
  // Local, parameter or field (tags 0x20..0x24, 0x2C) inside a procedure or
  // record: tag, name, flags, type number, location (signed). The flags by
  // default as the compilers write them: a value or var parameter may be
  // changed (ParamFlags), anything else 0; ConstParamFlags makes it const,
  // OutParamFlags (tag 0x22) out.
  static constexpr uint32_t DefaultFlags = 0xFFFFFFFF;
  static constexpr uint32_t ParamFlags = 0x03, ConstParamFlags = 0x01, OutParamFlags = 0x83;
  UnitBuilder& Local(uint8_t Tag, std::string_view Name, uint32_t TypeIndex, int32_t Location = 0,
                     uint32_t Flags = DefaultFlags);
  // ---- Type definitions (tag, then RTTI size, size, head value) ----
  UnitBuilder& TypeDefHead(uint8_t Tag, uint32_t RTTISize = 0, int32_t Size = 4, uint32_t HeadV = 0);
  UnitBuilder& VoidDef() { return TypeDefHead(0x40, 0, 0); }
  // Enumeration (tag 0x43) with bounds Lo..Hi.
  UnitBuilder& EnumDef(int32_t Lo, int32_t Hi, uint32_t BaseType = 0, uint32_t RTTISize = 0);
  // Range of tag 0x41, 0x42, 0x44, 0x51 or 0x56 with bounds Lo..Hi.
  UnitBuilder& RangeDef(int32_t Lo, int32_t Hi, uint8_t Tag = 0x44, uint32_t BaseType = 0);

  // Header, one source file Name.pas, data block, trivial fixups; the top
  // level is still open (write declarations, then Stop()).
  UnitBuilder& MinimalStart(std::string_view UnitName = "Demo", uint32_t DataSize = 0);
  // Ends the top-level list (tag 0x63).
  UnitBuilder& Stop() { return Byte(0x63); }

  // Patches the stored file length and returns the bytes.
  std::vector<uint8_t> Finish();
  // The bytes without patching the length.
  const std::vector<uint8_t>& Data() const { return Bytes; }
  // Patches the stored file length in place (offset 4).
  void PatchLength();
};

// Makes the stored file length (the dword at offset 4) match the size of
// Bytes; shorter byte strings stay as they are.
void PatchStoredLength(std::vector<uint8_t>& Bytes);

// Writes Bytes to the file at Path (created or truncated); false when the
// file cannot be written.
bool WriteUnitFile(const std::string& Path, const std::vector<uint8_t>& Bytes);

// A long string literal as the data block holds one: -1 (its reference
// count), the length, the bytes and a zero byte.
std::vector<uint8_t> LongStringLiteral(std::string_view S);

// A complete minimal unit of the version: header, source file, data block,
// fixups, stop tag.
std::vector<uint8_t> MinimalUnit(int Version, std::string_view UnitName = "Demo");

}  // namespace unitbuilder
