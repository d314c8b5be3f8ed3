#include "AiosmtpdServer.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>

const QString AiosmtpdServer::kUser = QStringLiteral("loja@example.com");
const QString AiosmtpdServer::kPassword = QString::fromUtf8("s3nhá");

namespace {

const QString kPython = QStringLiteral("/usr/bin/python3");

bool run(const QString& program, const QStringList& args, const QString& dir) {
    QProcess p;
    p.setWorkingDirectory(dir);
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

bool makeCertificates(const QString& d) {
    const QStringList ec = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
    QFile ext(d + "/ext.cnf");
    if (!ext.open(QIODevice::WriteOnly))
        return false;
    ext.write("subjectAltName=IP:127.0.0.1,DNS:localhost\nextendedKeyUsage=serverAuth\n");
    ext.close();
    return run("openssl",
               QStringList{"req", "-x509"} + ec +
                   QStringList{"-keyout", "ca.key", "-out", "ca.crt", "-days", "2", "-subj", "/CN=Vestral Test CA",
                               "-addext", "basicConstraints=critical,CA:TRUE", "-addext",
                               "keyUsage=critical,keyCertSign,cRLSign"},
               d) &&
           run("openssl",
               QStringList{"req"} + ec +
                   QStringList{"-keyout", "server.key", "-out", "server.csr", "-subj", "/CN=localhost"},
               d) &&
           run("openssl",
               {"x509", "-req", "-in", "server.csr", "-CA", "ca.crt", "-CAkey", "ca.key", "-CAcreateserial", "-out",
                "server.crt", "-days", "2", "-extfile", "ext.cnf"},
               d);
}

struct Shared {
    QTemporaryDir dir;
    QString reason;
    Shared() {
        if (!run(kPython, {"-c", "import aiosmtpd"}, QDir::tempPath()))
            reason = "aiosmtpd is not installed for /usr/bin/python3 (Debian package python3-aiosmtpd)";
        else if (!makeCertificates(dir.path()))
            reason = "the openssl command could not make the test certificates";
    }
};

Shared& shared() {
    static Shared s;
    return s;
}

} // namespace

QString AiosmtpdServer::unavailableReason() {
    return shared().reason;
}

QString AiosmtpdServer::caFile() {
    return shared().dir.path() + "/ca.crt";
}

quint16 AiosmtpdServer::start(const QString& mode, const QStringList& extra) {
    stop();
    const QString d = shared().dir.path();
    static int serial = 0;
    m_record = QStringLiteral("%1/%2-%3.jsonl").arg(d, mode).arg(++serial);
    m_process = std::make_unique<QProcess>();
    const QString script = qEnvironmentVariable("VESTRAL_SOURCE_DIR", QStringLiteral(VESTRAL_MAIL_TEST_DIR "/../..")) +
                           "/tests/mail/smtp_test_server.py";
    m_process->start(kPython,
                     QStringList{script, "--mode", mode, "--cert", d + "/server.crt", "--key", d + "/server.key",
                                 "--user", kUser, "--password", kPassword, "--record", m_record} +
                         extra);
    while (m_process->waitForReadyRead(10000)) {
        if (m_process->canReadLine()) {
            const QByteArray line = m_process->readLine().trimmed();
            if (line.startsWith("PORT "))
                return static_cast<quint16>(line.mid(5).toUInt());
        }
    }
    return 0;
}

void AiosmtpdServer::stop() {
    if (m_process) {
        m_process->kill();
        m_process->waitForFinished(5000);
        m_process.reset();
    }
}

QList<QJsonObject> AiosmtpdServer::received() const {
    QList<QJsonObject> out;
    QFile f(m_record);
    if (f.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : f.readAll().split('\n')) {
            if (!line.isEmpty())
                out.append(QJsonDocument::fromJson(line).object());
        }
    }
    return out;
}
