// The file offset the user types into the Bytes view's "Go to offset" box.
#pragma once

#include <QString>
#include <cstdint>

// An offset typed by the user: hexadecimal after "0x" or "$", else decimal;
// -1 when the text is no offset.
int64_t ParseOffset(const QString& Text);
