// A listing as the page's views take it: {"lines": [[..., KIND, ANCHOR,
// "TEXT", ...], ...]}, each line an array of its marked runs after what the
// caller puts first (the Code view: the item's offset and size). Written
// by the declarations' and the code's sinks alike.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "JsonWriter.h"

class TJsonRunLines {
 public:
  explicit TJsonRunLines(std::string& Out) : J(Out, TJsonLayout::Flat) {
    J.BeginObject();
    J.Key("lines");
    J.BeginArray();
  }
  void BeginLine() { J.BeginArray(); }
  void Number(int64_t V) { J.Number(V); }
  void Run(int Kind, int64_t Anchor, std::string_view Text) {
    J.Number(Kind);
    J.Number(Anchor);
    J.String(Text);
  }
  void EndLine() { J.EndArray(); }
  // After the last line's EndLine.
  void Finish() {
    J.EndArray();
    J.EndObject();
    J.Flush();
  }

 private:
  TJsonWriter J;
};
