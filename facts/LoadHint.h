// A plain sentence beside the reader's message of a file that did not load,
// where the cause is clear from the message and the file's first bytes: a
// file cut short, a text file, a unit of a later compiler release, a folder.
// The message itself stays as it is; the sentence goes beside it (the
// viewer's tab header, the command line's standard error, JSON "hint").
#pragma once

#include <string>
#include <string_view>

// The sentence for the load error Error of the file at Path; empty when the
// cause is not clear.
std::string LoadErrorHint(const std::string& Path, std::string_view Error);

// A number with thousands separated by commas: "538,949".
std::string GroupedNumber(unsigned long long N);
