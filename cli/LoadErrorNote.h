// A file that did not load, told on standard error (standard output has its
// error block or its JSON object as ever): the reader's message, and under
// it the plain sentence of LoadErrorHint where the cause is clear.
#pragma once

#include <string>

void NoteLoadError(const std::string& Path, const std::string& Error);
