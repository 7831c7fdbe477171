// The file offset the user types into the Bytes view's "Go to offset" box.
#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

// An offset typed by the user: hexadecimal after "0x" or "$", else decimal;
// -1 when the text is no offset.
int64_t ParseOffset(const QString& Text);

// The bytes the user looks for in the Bytes view: hex byte pairs ("75 54",
// "7554AB"; blanks between pairs allowed) when the text is nothing else,
// else the text itself in UTF-8; text in double quotes is always text.
// Empty when there is nothing to look for.
QByteArray ParseBytePattern(const QString& Text);
