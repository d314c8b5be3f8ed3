// Files written whole or not at all, and the data folder's own hygiene: its mode, the database's
// mode, and the temporaries a killed program leaves behind.
#include "store/AtomicFile.h"
#include "store/DataDir.h"

#include "FileLimits.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<ausente>");
}

void put(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

mode_t modeOf(const QString& path) {
    struct stat st {};
    ::stat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 07777;
}

QStringList namesIn(const QString& dir) {
    return QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

// A pid that no process has any more.
pid_t deadPid() {
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(0);
    ::waitpid(child, nullptr, 0);
    return child;
}

class UmaskGuard {
public:
    explicit UmaskGuard(mode_t mask) : m_old(::umask(mask)) {}
    ~UmaskGuard() { ::umask(m_old); }

private:
    mode_t m_old;
};

TEST(AtomicFileTest, ReplacesTheTargetOnlyWhenEveryStepSucceeded) {
    QTemporaryDir dir;
    const QString target = QDir(dir.path()).filePath(QStringLiteral("contatos.xls"));
    put(target, "antigo");
    const UmaskGuard mask(022);
    AtomicFile file(target);
    ASSERT_TRUE(file.open()) << file.errorString().toStdString();
    EXPECT_TRUE(AtomicFile::isTemporaryName(QFileInfo(file.temporaryPath()).fileName()));
    EXPECT_EQ(contents(target), "antigo"); // nothing seen before the rename
    ASSERT_TRUE(file.write("novo conteúdo"));
    ASSERT_TRUE(file.commit()) << file.errorString().toStdString();
    EXPECT_EQ(contents(target), QByteArray("novo conteúdo"));
    EXPECT_EQ(modeOf(target), 0600u); // the contacts' data: not readable by the other users
    EXPECT_EQ(namesIn(dir.path()), QStringList{QStringLiteral("contatos.xls")});
}

TEST(AtomicFileTest, AFailedWriteKeepsTheOldFileAndSaysWhy) {
    QTemporaryDir dir;
    const QString target = QDir(dir.path()).filePath(QStringLiteral("relatorio.pdf"));
    put(target, "antigo");
    AtomicFile file(target);
    ASSERT_TRUE(file.open());
    {
        const TestFiles::FileSizeLimit limit(4096);
        EXPECT_FALSE(file.write(QByteArray(10000, 'x'))); // a short write is no success
    }
    EXPECT_TRUE(file.errorString().contains(target)) << file.errorString().toStdString();
    EXPECT_TRUE(file.errorString().contains(QString::fromLocal8Bit(std::strerror(EFBIG))));
    EXPECT_FALSE(file.commit());
    EXPECT_EQ(contents(target), "antigo");
    EXPECT_EQ(namesIn(dir.path()), QStringList{QStringLiteral("relatorio.pdf")});
}

TEST(AtomicFileTest, AFullDiskIsNamedAndTheOldFileKept) {
    TestFiles::SmallDisk disk(256);
    if (!disk.mounted())
        GTEST_SKIP() << "no permission to mount a tmpfs here";
    const QString target = disk.filePath(QStringLiteral("contatos.xlsx"));
    put(target, "antigo");
    disk.fill(8192);
    AtomicFile file(target);
    ASSERT_TRUE(file.open());
    EXPECT_FALSE(file.write(QByteArray(64 * 1024, 'x')) && file.commit());
    EXPECT_TRUE(file.errorString().contains(QString::fromLocal8Bit(std::strerror(ENOSPC))))
        << file.errorString().toStdString();
    EXPECT_EQ(contents(target), "antigo");
    EXPECT_EQ(namesIn(disk.path()).size(), 2); // the target and the filler: no temporary left
}

TEST(AtomicFileTest, ADroppedOrUncommittedFileLeavesNothing) {
    QTemporaryDir dir;
    const QString target = QDir(dir.path()).filePath(QStringLiteral("x.xls"));
    {
        AtomicFile file(target);
        ASSERT_TRUE(file.open());
        ASSERT_TRUE(file.write("meio"));
    }
    EXPECT_TRUE(namesIn(dir.path()).isEmpty());
    AtomicFile missingFolder(QDir(dir.path()).filePath(QStringLiteral("nao/existe.xls")));
    EXPECT_FALSE(missingFolder.open());
    EXPECT_TRUE(missingFolder.errorString().contains(QStringLiteral("nao/existe.xls")));
}

TEST(DataDirTest, TemporariesOfAKilledRunAreRemovedAtTheNextStart) {
    QTemporaryDir data;
    QTemporaryDir elsewhere; // an export can go anywhere
    const QString previous = DataDir::current();
    DataDir::setCurrent(data.path());
    const QString target = QDir(elsewhere.path()).filePath(QStringLiteral("contatos.xls"));
    auto live = std::make_unique<AtomicFile>(target);
    ASSERT_TRUE(live->open());
    const QString liveTemporary = live->temporaryPath();
    // A run killed while writing: its list entry names a pid that has ended.
    const QString killedTemporary = QDir(elsewhere.path()).filePath(QStringLiteral(".contatos.xls.tmp-AbC123"));
    put(killedTemporary, "meio arquivo");
    const QString list = QDir(data.path()).filePath(QStringLiteral(".temporarios"));
    put(QDir(list).filePath(QStringLiteral("%1-0").arg(deadPid())), killedTemporary.toUtf8());
    // An entry naming a file that this program never makes is dropped, the file kept.
    const QString precious = QDir(elsewhere.path()).filePath(QStringLiteral("importante.txt"));
    put(precious, "do operador");
    put(QDir(list).filePath(QStringLiteral("%1-1").arg(deadPid())), precious.toUtf8());

    QString error;
    ASSERT_TRUE(DataDir::prepare(data.path(), &error)) << error.toStdString();
    EXPECT_FALSE(QFileInfo::exists(killedTemporary));
    EXPECT_TRUE(QFileInfo::exists(precious));
    EXPECT_TRUE(QFileInfo::exists(liveTemporary)); // this run is alive: its file is being written
    ASSERT_TRUE(live->write("ok") && live->commit());
    EXPECT_TRUE(namesIn(list).isEmpty());
    DataDir::setCurrent(previous);
}

TEST(DataDirTest, FolderCreatedForItsOwnerAndTheDatabaseTightened) {
    const UmaskGuard mask(022);
    QTemporaryDir root;
    const QString dir = QDir(root.path()).filePath(QStringLiteral("a/vestral-sms"));
    ASSERT_TRUE(DataDir::prepare(dir));
    EXPECT_EQ(modeOf(dir), 0700u);
    EXPECT_EQ(modeOf(QDir(root.path()).filePath(QStringLiteral("a"))), 0700u);

    const struct {
        mode_t before;
        mode_t after;
    } cases[] = {{0644, 0600}, {0666, 0600}, {0640, 0600}, {0600, 0600}, {0400, 0400}};
    const QString db = DataDir::databasePath(dir);
    for (const auto& c : cases) {
        put(db, "SQLite format 3");
        put(db + QStringLiteral("-wal"), "");
        ::chmod(QFile::encodeName(db).constData(), c.before);
        ::chmod(QFile::encodeName(db + QStringLiteral("-wal")).constData(), c.before);
        ASSERT_TRUE(DataDir::prepare(dir));
        EXPECT_EQ(modeOf(db), c.after) << std::oct << c.before;
        EXPECT_EQ(modeOf(db + QStringLiteral("-wal")), c.after) << std::oct << c.before;
    }
    // A folder that cannot be made is said, with the system's reason.
    put(QDir(root.path()).filePath(QStringLiteral("arquivo")), "x");
    QString error;
    EXPECT_FALSE(DataDir::prepare(QDir(root.path()).filePath(QStringLiteral("arquivo/dados")), &error));
    EXPECT_FALSE(error.isEmpty());
}

} // namespace
