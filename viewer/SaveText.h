// Writing an export of the viewer (a listing, a report) to a file whole: the
// file is replaced only once everything is written.
#pragma once

#include <QByteArray>
#include <QString>

// False, with the reason in Error, when the file cannot be written.
bool SaveWholeFile(const QString& Name, const QByteArray& Bytes, QString& Error);
