#pragma once

#include <QByteArrayView>
#include <QString>

#include <sys/types.h>

// A file that appears whole or not at all. The bytes go to a temporary file beside the target
// (the same file system, so the final rename is atomic); every write, the flush to the disk and
// the close are checked, and only then is the temporary renamed over the target. Any failure
// keeps the old file, removes the temporary, and leaves a Portuguese text naming the target with
// the system's own reason after it ("No space left on device").
//
// While it exists, the temporary is listed in the data folder (DataDir::current()), so that one
// left behind by a killed program is removed at the next start.
class AtomicFile {
public:
    // mode: the new file's permissions; the default keeps it to its owner.
    explicit AtomicFile(const QString& path, mode_t mode = 0600);
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;
    ~AtomicFile(); // a temporary not committed is removed

    bool open();
    bool write(QByteArrayView bytes);
    // For libraries that write a file by its name: the temporary's path, valid after open().
    // Whatever the library wrote there is flushed to the disk and checked by commit().
    QString temporaryPath() const { return m_temporary; }
    // Flushes, closes and renames; false (and errorString()) when any step fails.
    bool commit();
    // Drops the temporary; the target is not touched.
    void discard();

    QString path() const { return m_path; }
    QString errorString() const { return m_error; }

    // The middle of every temporary's name: ".NAME.tmp-XXXXXX".
    static bool isTemporaryName(const QString& fileName);

private:
    bool fail(int error);

    QString m_path;
    QString m_temporary;
    QString m_registration;
    QString m_error;
    mode_t m_mode;
    int m_fd = -1;
};
