// A synthetic unit that holds a value of every kind the declarations
// decode, and a class with members of every section and method directive:
// for the tests of the value decoders, of the outline's listing and JSON and
// of the viewer's Declarations view, and a seed of the fuzz target.
//
// Unit Vals (version 7), among others:
//   constants MinI64 (the most negative Int64), BigI64, AllBits32 and
//     GapDrop (0..4294967295, stored sign-extended), CardMax (Cardinal),
//     AllBits64 (0..$FFFFFFFFFFFFFFFF), characters, Yes, KindC, strings
//     (Text1 = 'It''s'#13#10, Empty = ''), Extended NaNX, InfX, NegInfX and
//     Tenth, Ver (a Currency), sets, and Odd (a string whose length runs
//     past its bytes);
//   resource strings SHello (with its text) and SLost (without);
//   typed constants Outer (an array of records with alignment gaps and a
//     nested record), Short (string[5]), Sig (array of Char), Grid (two
//     dimensions), Name (a string through a fixup), PName (a PChar), PCount
//     (@Outer), Cls (a class reference), Nothing (nil), Handler (@DoIt),
//     Short2 (a block too short for its record), Broken (a fixup that leads
//     outside the data block), Specials (NaN and -Infinity in an array of
//     Extended), NoText (an empty string), Mixed (a record of which one
//     field has a type the unit does not describe);
//   TThing = class: fields FPriv, FProt, FPub, FPubl (one per section) and
//     FOdd (visibility bits no unit has); methods Run (virtual abstract),
//     Make (class, overload), Paint (dynamic override), WMSize (message
//     $B00B), Show, Added (virtual deprecated); properties Kind (default
//     ckC), Kinds (default [ckA, ckC]), Flag (default True), Items (the
//     default array property);
//   TSub = class(TThing): Kind (default ckD) and Flag (nodefault) taken over;
//   IPing = interface with the method Ping.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace unitbuilder {

// Declaration numbers by name (from a first load of the same bytes); the
// nameless routines in file order under "#1", "#2", ...
using TNumbers = std::map<std::string, uint32_t>;

// The unit's bytes; the fixups and method records name declarations by
// their numbers, taken from a first build.
std::vector<uint8_t> ValuesUnit();
// The numbers of the unit's declarations by name.
const TNumbers& ValuesUnitNumbers();
// The declaration numbers of a first build (Draft) of any unit, as above.
TNumbers DeclNumbersOf(const std::vector<uint8_t>& Draft, const std::string& FileName);

}  // namespace unitbuilder
