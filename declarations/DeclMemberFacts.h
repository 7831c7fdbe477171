// Visibility and method directives of the members of classes and objects,
// as the unit's member records keep them, and what a property record says
// of its default. Plain data; the listing and the JSON write it.
//
// Member flag word (fields, methods, properties; every format version):
//   0x01  class method
//   0x0E  visibility: 0 private, 4 protected, 2 public, 0x0A published
//   0x20  methods: override; properties: the class's default array property
//   0x40  virtual, 0x80 dynamic, both: message (the number in the type slot)
//   0x200 deprecated, 0x400 platform
// The routine that implements a method keeps in its own flag word 0x40 for
// abstract and 0x1000 for overload. reintroduce is kept nowhere.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class TUnit;
class TNameDecl;
class TProcDecl;
class TRecBaseDef;

enum class TVisibility : uint8_t {
  None,  // a member of a record or an interface: the file gives no section
  Private,
  Protected,
  Public,
  Published,
  Unknown,  // bits no unit seen so far has (automated may be one of them)
};

enum class TBinding : uint8_t { Static, Virtual, Dynamic, Message };

struct TMemberFacts {
  TVisibility Visibility = TVisibility::None;
  uint32_t Flags = 0;         // the member's flag word as read
  bool ClassMethod = false;
  TBinding Binding = TBinding::Static;
  bool Override = false;
  bool Abstract = false;      // from the implementing routine
  bool Overload = false;      // from the implementing routine
  int64_t Slot = -1;          // virtual: index in the virtual method table; dynamic: dynamic index
  uint32_t Message = 0;       // message: the message number
  bool Deprecated = false;
  bool Platform = false;
  bool DefaultProperty = false;  // property: "default" after an array property

  // The directives in the order a source writes them: "overload",
  // "virtual" / "dynamic" / "override" / "message N", "abstract",
  // "deprecated", "platform". (Calling conventions are not among them.)
  std::vector<std::string> Directives() const;
};

// What the member record M of the record-like type Owner says (Owner may
// be null: then visibility is taken as recorded).
TMemberFacts MemberFacts(const TUnit& U, const TNameDecl& M, const TRecBaseDef* Owner);

// The flag word of a routine as the file stores it. The reader keeps it
// sign-extended from its packed form, which sets the high bits of a word
// whose top value bit is set; this reads the stored bits again. None for a
// routine without one (version 2, names without a body part).
std::optional<uint32_t> RoutineFlags(const TUnit& U, const TProcDecl& P);

// "private", "protected", "public", "published"; empty for None and Unknown.
std::string_view VisibilityName(TVisibility V);
