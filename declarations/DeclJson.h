// The declarations outline as JSON: {"implementation": [DECL...],
// "interface": [DECL...]}, each DECL with its kind, name, one-line text and
// file offset, and what its kind has (type kind, values, members,
// parameters, ...), keys in alphabetical order. Values in the shapes of
// ValueJson (DeclValues.h): "value" (with "valueText" for a float) where the
// value is decoded, "valueBytes" where it is not; members of classes with
// "visibility", methods with "classMethod" and "directives".
//
// Written through the JSON writer in the layout around it, except that each
// declaration takes one line, flat: a unit of the corpus declares up to a
// hundred thousand names, and indenting every parameter would cost many
// times the reading.
#pragma once

#include "DeclOutline.h"
#include "JsonWriter.h"

// Writes the outline's JSON object as the next value of J.
void WriteDeclsJson(const TDeclOutline& O, TJsonWriter& J);
