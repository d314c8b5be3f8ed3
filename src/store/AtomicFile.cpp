#include "store/AtomicFile.h"

#include "store/DataDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

AtomicFile::AtomicFile(const QString& path, mode_t mode) : m_path(path), m_mode(mode) {}

AtomicFile::~AtomicFile() {
    discard();
}

bool AtomicFile::isTemporaryName(const QString& fileName) {
    static const QRegularExpression pattern(QStringLiteral("^\\..+\\.tmp-[A-Za-z0-9]{6}$"));
    return pattern.match(fileName).hasMatch();
}

bool AtomicFile::fail(int error) {
    m_error = QStringLiteral("Não foi possível gravar o arquivo \"%1\": %2")
                  .arg(m_path, QString::fromLocal8Bit(std::strerror(error)));
    discard();
    return false;
}

bool AtomicFile::open() {
    discard();
    m_error.clear();
    const QFileInfo target(m_path);
    QByteArray pattern =
        QFile::encodeName(target.absoluteDir().filePath(QStringLiteral(".%1.tmp-XXXXXX").arg(target.fileName())));
    m_fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (m_fd < 0) {
        return fail(errno);
    }
    m_temporary = QFile::decodeName(pattern);
    m_registration = DataDir::registerTemporary(m_temporary);
    if (::fchmod(m_fd, m_mode) != 0) {
        return fail(errno);
    }
    return true;
}

bool AtomicFile::write(QByteArrayView bytes) {
    if (m_fd < 0) {
        return m_error.isEmpty() ? fail(EBADF) : false;
    }
    const char* data = bytes.data();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(m_fd, data, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return fail(n < 0 ? errno : ENOSPC); // a write that takes nothing is a full disk
        }
        data += n;
        left -= n;
    }
    return true;
}

bool AtomicFile::commit() {
    if (m_fd < 0) {
        return m_error.isEmpty() ? fail(EBADF) : false;
    }
    if (::fsync(m_fd) != 0) {
        return fail(errno);
    }
    const int fd = m_fd;
    m_fd = -1;
    if (::close(fd) != 0) {
        return fail(errno);
    }
    if (std::rename(QFile::encodeName(m_temporary).constData(), QFile::encodeName(m_path).constData()) != 0) {
        return fail(errno);
    }
    m_temporary.clear();
    DataDir::unregisterTemporary(m_registration);
    m_registration.clear();
    // The rename itself reaches the disk with its folder.
    const int dir = ::open(QFile::encodeName(QFileInfo(m_path).absolutePath()).constData(), O_RDONLY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

void AtomicFile::discard() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temporary.isEmpty()) {
        ::unlink(QFile::encodeName(m_temporary).constData());
        m_temporary.clear();
    }
    DataDir::unregisterTemporary(m_registration);
    m_registration.clear();
}
