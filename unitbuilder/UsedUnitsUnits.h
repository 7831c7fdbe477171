// Synthetic units that use each other, for the tests of used units: values
// of one unit whose types are declared in another, decoded through that
// unit's type facts.
//
// Unit Lib (any version; the names of its enumeration start with Prefix,
// "m" by default, which tells copies of Lib apart):
//   TMode = (mNone, mFast, mSafe); TModes = set of TMode;
//   TPair = record Value: Integer @0; Name: String @4 end (8 bytes);
//   TReal = Single and TCount = Integer (other names of the runtime's types);
//   TWide = type Double;
//   TBase = class: Mode: TMode default mSafe; Flag: Boolean default True;
//     Modes: TModes default [mNone, mSafe].
// Unit Mid (version 7): uses Lib; TMidMode = TMode (a name of Lib's type);
//   TMidRange = mFast..mSafe (a subrange of Lib's enumeration); TMidBase =
//   class(TBase) taking over Mode (default mFast).
// Unit App (version 7): uses Lib (TPair, TMode, TModes, TReal, TCount, TWide;
//   TBase with its run-time type data) and Mid (TMidMode, TMidBase, TMidRange); typed
//   constants
//     Pair: TPair = (Value: 42; Name: 'abc');
//     Pairs: array[0..1] of TPair = ((Value: 1; Name: 'x'), (Value: -2; Name: ''));
//     FastMode: TMode = mFast; SomeModes: TModes = [mFast, mSafe]; Real: TReal = 1.5;
//     MidMode: TMidMode = mSafe; MidRange: TMidRange = mSafe;
//     Count: TCount = -7; Wide: TWide = 0.25;
//   constants DefaultMode = mSafe (an ordinal) and AllModes = [mNone..mSafe]
//   (a set stored as bytes); TDerived = class(TBase) taking over Mode
//   (default mSafe), Flag (default True) and Modes (default [mNone, mSafe])
//   without their types, as the compiler writes a redeclared property;
//   TDerived2 = class(TMidBase) taking over Mode (default mNone) and Flag
//   (default False), whose types Lib gives through Mid.
// LoopUnit(Name, Other) (version 7): uses Other; TLoop = Other.TLoop (so two
//   such units name each other's type, which no unit declares);
//   TLoopClass = class(Other.TLoopClass) taking over Mode (default 1); the
//   typed constant Loop: TLoop of 4 bytes.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace unitbuilder {

std::vector<uint8_t> LibUnit(int Version = 7, std::string_view Prefix = "m");
std::vector<uint8_t> MidUnit();
std::vector<uint8_t> AppUnit();
std::vector<uint8_t> LoopUnit(std::string_view Name, std::string_view Other);

}  // namespace unitbuilder
