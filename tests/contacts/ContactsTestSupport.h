#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <utility>

namespace ContactsTest {

// Path of a file in tests/data.
QString dataFile(const QString& name);

// A zip archive holding the given parts (name, content), deflated.
QByteArray makeZip(const QList<std::pair<QString, QByteArray>>& parts);

// A minimal .xlsx: the usual relationships and workbook, one sheet with sheetData as given,
// plus optional shared strings and styles parts (left out when empty).
QByteArray makeXlsx(const QByteArray& sheetData, const QByteArray& sharedStrings = {}, const QByteArray& styles = {},
                    const QByteArray& workbookPr = {});

// Runs /usr/bin/python3 with a script and arguments; its standard output, or a null array when
// the interpreter or one of the modules is missing (the test then skips).
QByteArray runPython(const QString& script, const QStringList& arguments, QString* skipReason);

} // namespace ContactsTest
