// One program per data folder, between real processes of the program.
#include <QDir>
#include <QElapsedTimer>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <csignal>
#include <gtest/gtest.h>

#include "MissingPeer.h"
#include "app/DataFolderLock.h"

namespace {

struct Outcome {
    int exitCode = -1;
    QString out;
    QString err;
};

class DataFolder : public ::testing::Test {
protected:
    void SetUp() override {
        m_program = qEnvironmentVariable("VESTRAL_BINARY_DIR") + "/src/app/vestral-sms";
        if (!QFile::exists(m_program))
            VESTRAL_SKIP_MISSING_PEER("vestral-sms not built: " << m_program.toStdString());
        ASSERT_TRUE(m_dir.isValid());
    }
    void start(QProcess& p, const QStringList& args) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        p.setProcessEnvironment(env);
        p.start(m_program, QStringList{"--data-dir", m_dir.path()} + args);
        ASSERT_TRUE(p.waitForStarted(60000));
    }
    Outcome run(const QStringList& args) {
        QProcess p;
        start(p, args);
        EXPECT_TRUE(p.waitForFinished(120000)) << args.join(' ').toStdString();
        // Qt's own warnings about the environment (XDG_RUNTIME_DIR) are not the program's texts.
        QStringList err = QString::fromUtf8(p.readAllStandardError()).split('\n');
        err.removeIf([](const QString& line) { return line.startsWith("QStandardPaths:"); });
        return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput()), err.join('\n')};
    }
    // The PID written in the lock file, once it is `pid` (the 2-minute guard only stops a broken build).
    bool lockHeldBy(qint64 pid) {
        QElapsedTimer guard;
        guard.start();
        while (guard.elapsed() < 120000) {
            QLockFile file(DataFolderLock::fileName(m_dir.path()));
            qint64 holder = 0;
            QString host, app;
            if (file.getLockInfo(&holder, &host, &app) && holder == pid)
                return true;
            QThread::msleep(20);
        }
        return false;
    }

    QString m_program;
    QTemporaryDir m_dir;
};

TEST_F(DataFolder, SecondProgramIsRefusedAndAStaleLockIsTakenOver) {
    ASSERT_EQ(run({"--init-db"}).exitCode, 0);
    QFile csv(m_dir.filePath("c.csv"));
    ASSERT_TRUE(csv.open(QIODevice::WriteOnly));
    csv.write("Ana;11987654321;ana@x.com\n");
    csv.close();

    QProcess window; // the first program: the main window, open until killed
    start(window, {});
    ASSERT_TRUE(lockHeldBy(window.processId()));
    const QString inUse =
        QStringLiteral("A pasta de dados já está em uso por outro processo (PID %1).\n").arg(window.processId());

    const QStringList writers[] = {
        {"--init-db"},      {"--probe"},       {"--demo-ports", "2"}, {"--send-outbox"},
        {"--build-outbox"}, {"--receive-sms"}, {"--send-email"},      {"--import", csv.fileName(), "--group", "GERAL"},
    };
    for (const QStringList& args : writers) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const Outcome o = run(args);
        EXPECT_EQ(o.exitCode, 1);
        EXPECT_EQ(o.err.toStdString(), inUse.toStdString());
        EXPECT_EQ(o.out.toStdString(), "");
    }
    // Commands that only read run beside it.
    const QStringList readers[] = {
        {"--report", m_dir.filePath("r.pdf")}, {"--export", m_dir.filePath("e.xlsx")}, {"--version"}};
    for (const QStringList& args : readers) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const Outcome o = run(args);
        EXPECT_EQ(o.exitCode, 0) << o.err.toStdString();
        EXPECT_FALSE(o.err.contains("em uso"));
    }
    EXPECT_TRUE(QFile::exists(m_dir.filePath("e.xlsx")));

    // Killed, the window leaves its lock file behind; the next program takes it over.
    ::kill(pid_t(window.processId()), SIGKILL);
    ASSERT_TRUE(window.waitForFinished(60000));
    ASSERT_TRUE(QFile::exists(DataFolderLock::fileName(m_dir.path())));
    const Outcome after = run({"--demo-ports", "2"});
    EXPECT_EQ(after.exitCode, 0) << after.err.toStdString();
    EXPECT_EQ(after.err.toStdString(), "");
    EXPECT_FALSE(QFile::exists(DataFolderLock::fileName(m_dir.path()))); // released at the end
}

} // namespace
