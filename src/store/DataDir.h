#pragma once

#include <QString>

// Where the program keeps BDSMS.db, the manual and the portas/ links.
namespace DataDir {

// --data-dir when given; else the executable's folder when writable and not a "bin" folder (an installed
// program); else $XDG_DATA_HOME/vestral-sms (~/.local/share/vestral-sms).
QString resolve(const QString& commandLineDir, const QString& executableDir);

// The directory chosen at start-up (set once by main, read by everyone).
void setCurrent(const QString& dir);
QString current();

QString databasePath(const QString& dir);

// Creates the folder and any missing parent for their owner only (0700); an existing one is left
// as it is. False, with the system's reason in *error, when it cannot be created.
bool createFolder(const QString& dir, QString* error = nullptr);

// Readies the folder before the database opens: creates it (and any missing parent) for its owner
// only (0700); tightens an existing BDSMS.db (and its -wal/-shm files) that others may read to
// 0600, with a log line; removes the temporary files that a killed write left behind. False, with
// the system's reason in *error, when the folder cannot be created.
bool prepare(const QString& dir, QString* error = nullptr);

// Lists a temporary file being written (see AtomicFile) in the current data folder, so that the
// next start removes it if this process dies before it is renamed or removed. Returns the mark to
// pass to unregisterTemporary; empty when there is no data folder.
QString registerTemporary(const QString& temporaryPath);
void unregisterTemporary(const QString& mark);
// Removes the listed temporaries whose process has ended; returns how many files were removed.
int removeStaleTemporaries(const QString& dir);

} // namespace DataDir
