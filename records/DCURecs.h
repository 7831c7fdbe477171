// Record classes of the unit reader: everything read from a unit file's
// declaration stream and import lists is an object of the tree rooted at
// TDCURec. This header brings all of them, with the checked downcast:
//
//   DCURecKinds.h   the list of the classes and the kinds of records
//   DCURecBase.h    the root classes (DCURecs.cpp)
//   DCUDecls.h      import records and data declarations (DCURecs.cpp)
//   DCUProcs.h      procedures, locals, methods, properties (DCUProcs.cpp)
//   DCUTypeDefs.h   type definitions (DCUTypeDefs.cpp)
#pragma once

#include <type_traits>

#include "DCUDecls.h"
#include "DCUProcs.h"
#include "DCURecBase.h"
#include "DCURecKinds.h"
#include "DCUTypeDefs.h"
#include "DCU_Unit.h"

// Every class of the list stands for the closed range of its kinds, and a
// class with records of its own kind comes first in its range and gives its
// records that kind itself (its own OwnKind, not one of a class above it).
#define UNITPEEK_REC_CHECK_G(Class)                                             \
  static_assert(TRecKindRange<Class>::Closed, "the kinds below " #Class         \
                                              " are not one range: the list of " \
                                              "record classes does not follow the class tree");
#define UNITPEEK_REC_CHECK_K(Kind, Class)                                                    \
  UNITPEEK_REC_CHECK_G(Class)                                                                \
  static_assert(TRecKindRange<Class>::First == TRecKind::Kind, #Class " comes after a class below it"); \
  static_assert(Class::OwnKind == TRecKind::Kind, #Class " does not give its records its own kind");
UNITPEEK_RECORD_CLASSES(UNITPEEK_REC_CHECK_K, UNITPEEK_REC_CHECK_G)
#undef UNITPEEK_REC_CHECK_K
#undef UNITPEEK_REC_CHECK_G

// True when R is a To (or of a class below it).
template <class To>
bool IsA(const TDCURec* R) {
  if (!R) return false;
  const TRecKind K = R->RecKind();
  return TRecKindRange<To>::First <= K && K <= TRecKindRange<To>::Last;
}

// The checked downcast of records: R as a To, or null when it is none.
template <class To, class From>
To* RecCast(From* R) {
  static_assert(std::is_base_of_v<From, To>);
  return IsA<To>(R) ? static_cast<To*>(R) : nullptr;
}
template <class To, class From>
const To* RecCast(const From* R) {
  static_assert(std::is_base_of_v<From, To>);
  return IsA<To>(R) ? static_cast<const To*>(R) : nullptr;
}

// Calls Fn with R as the class of its own kind (the class UNITPEEK_RECORD_KIND
// names for R's kind): what a virtual call would do, read from the kind byte.
template <class TRec, class TFn>
  requires std::is_same_v<std::remove_const_t<TRec>, TDCURec>
decltype(auto) VisitRecord(TRec& R, TFn&& Fn) {
  switch (R.RecKind()) {
#define UNITPEEK_REC_VISIT(Kind, Class) \
  case TRecKind::Kind:                  \
    return Fn(static_cast<std::conditional_t<std::is_const_v<TRec>, const Class&, Class&>>(R));
    UNITPEEK_RECORD_CLASSES(UNITPEEK_REC_VISIT, UNITPEEK_REC_NONE)
#undef UNITPEEK_REC_VISIT
  }
  // Every record is given a kind of the list when it is made.
  __builtin_unreachable();
}
