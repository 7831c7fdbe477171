// The declarations outline as JSON: {"interface": [DECL...], "implementation":
// [DECL...]}, each DECL with its kind, name, one-line text and file offset,
// and what its kind has (type kind, values, members, parameters, ...).
//
// The text is written straight into a string, laid out as nlohmann::json
// lays out dump(2) (keys in their sorted order), so that it can stand inside
// such a dump, except that each declaration takes one line (as dump() writes
// it): a unit of the corpus declares up to a hundred thousand names, and
// building a JSON tree of them first, or indenting every parameter, would
// cost many times the reading.
#pragma once

#include <nlohmann/json.hpp>
#include <functional>
#include <string>

#include "DeclOutline.h"

// Appends the outline's JSON to Out, pretty-printed with two blanks per
// level; Level is the nesting level the object itself stands at. Flush,
// when given, is handed Out whenever it holds a megabyte or more, to write
// it away and empty it.
void WriteDeclsJson(const TDeclOutline& O, std::string& Out, int Level = 0,
                    const std::function<void(std::string&)>& Flush = {});

// The same as a JSON value.
nlohmann::json DeclsJson(const TDeclOutline& O);
