#pragma once

#include <QString>

// Where the program keeps BDSMS.db, the manual and the portas/ links.
namespace DataDir {

// --data-dir when given; else the executable's folder when writable; else $XDG_DATA_HOME/vestral-sms.
QString resolve(const QString& commandLineDir, const QString& executableDir);

// The directory chosen at start-up (set once by main, read by everyone).
void setCurrent(const QString& dir);
QString current();

QString databasePath(const QString& dir);

} // namespace DataDir
