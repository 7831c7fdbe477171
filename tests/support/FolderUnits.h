// Units for folder report tests: a unit that uses other units and imports
// stamped names from them, and declares stamped (interface) names of its own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace unitbuilder {

// An imported name: 'A' address, 'T' type, 'n' type with run-time type data.
struct TImportSpec {
  std::string Name;
  uint32_t Stamp;
  char Kind = 'A';
};
struct TUseSpec {
  std::string Unit;
  std::vector<TImportSpec> Names = {};
  uint8_t List = 0x64;  // 0x64 interface, 0x65 implementation, 0x68 DLL
};
// A declaration of the unit: stamped (an interface variable) or, with
// Stamped false, a built-in routine record, which carries no stamp.
struct TDeclSpec {
  std::string Name;
  uint32_t Stamp;
  bool Stamped = true;
};

std::vector<uint8_t> FolderUnit(const std::string& Name, int Version, const std::vector<TUseSpec>& Uses,
                                const std::vector<TDeclSpec>& Decls = {});

// A unit of version 7 with members to find: uses System (Integer, type 1)
// and Uses after it; in its interface a class ClassName (type 2) with the
// field FCount, the method GetCount, the constructor Create and the property
// Count; a record TPoint (type 3) with the fields X and Count; the variable
// Current of the class, the function Twice; in its implementation the body
// ClassName.GetCount and the procedure Helper.
std::vector<uint8_t> MembersUnit(const std::string& Name, const std::string& ClassName,
                                 const std::vector<TUseSpec>& Uses = {});

}  // namespace unitbuilder
