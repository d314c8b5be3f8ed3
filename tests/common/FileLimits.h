#pragma once

// Ways to make writes fail for real in a test: a file size limit for this process (writes past
// it fail with EFBIG, as on a full disk), and a small tmpfs (a true "No space left on device"),
// which needs the right to mount (root in CI); without it the test using it is skipped.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <sys/mount.h>
#include <sys/resource.h>

namespace TestFiles {

// Writes past `bytes` fail (EFBIG) while this object lives.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN); // the write fails instead of killing the process
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};

// A tmpfs of `kilobytes` mounted on a fresh folder; mounted() is false when mounting is not allowed.
class SmallDisk {
public:
    explicit SmallDisk(int kilobytes) {
        const QByteArray options = "size=" + QByteArray::number(kilobytes) + "k,mode=0755";
        m_mounted = m_dir.isValid() &&
                    ::mount("tmpfs", QFile::encodeName(m_dir.path()).constData(), "tmpfs", 0, options.constData()) == 0;
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    ~SmallDisk() {
        if (m_mounted)
            ::umount2(QFile::encodeName(m_dir.path()).constData(), MNT_DETACH);
    }
    bool mounted() const { return m_mounted; }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString& name) const { return QDir(m_dir.path()).filePath(name); }
    // Fills the disk up to `leaveBytes` free bytes with a file named "enchimento".
    void fill(qint64 leaveBytes) const {
        QFile filler(filePath(QStringLiteral("enchimento")));
        filler.open(QIODevice::WriteOnly);
        const QByteArray block(4096, 'x');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
        filler.close();
        filler.resize(std::max<qint64>(0, filler.size() - leaveBytes));
    }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
};

} // namespace TestFiles
