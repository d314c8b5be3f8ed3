#include "sms/ResultJournal.h"

#include "store/AtomicFile.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

const char* const ResultJournal::kFileName = "envios-pendentes.jsonl";

namespace {

QByteArray encode(const ResultJournal::Entry& e) {
    QJsonArray refs;
    for (int r : e.references)
        refs.append(r);
    const QJsonObject o{{"id", QString::number(e.outboxId)},
                        {"ficha", QString::number(e.token)},
                        {"entrada", e.slot},
                        {"estacao", e.station},
                        {"destinatario", e.destinatario},
                        {"mensagem", e.mensagem},
                        {"tipo", e.tipo},
                        {"enviado", e.enviado},
                        {"imsi", e.imsi},
                        {"referencias", refs},
                        {"quando", e.when.toString(Qt::ISODateWithMs)}};
    // Compact JSON escapes the line breaks a message may hold: one entry is one line.
    return QJsonDocument(o).toJson(QJsonDocument::Compact) + '\n';
}

bool decode(const QByteArray& line, ResultJournal::Entry* e) {
    QJsonParseError err{};
    const QJsonDocument doc = QJsonDocument::fromJson(line, &err);
    if (err.error != QJsonParseError::NoError || !doc.isObject())
        return false;
    const QJsonObject o = doc.object();
    bool idOk = false;
    bool tokenOk = false;
    e->outboxId = o.value("id").toString().toLongLong(&idOk);
    e->token = o.value("ficha").toString().toLongLong(&tokenOk);
    if (!idOk || !tokenOk || e->outboxId <= 0 || !o.value("destinatario").isString() ||
        !o.value("mensagem").isString() || !o.value("enviado").isBool())
        return false;
    e->slot = o.value("entrada").toInt();
    e->station = o.value("estacao").toString();
    e->destinatario = o.value("destinatario").toString();
    e->mensagem = o.value("mensagem").toString();
    e->tipo = o.value("tipo").toString();
    e->enviado = o.value("enviado").toBool();
    e->imsi = o.value("imsi").toString();
    e->references.clear();
    for (const QJsonValue& v : o.value("referencias").toArray())
        e->references << v.toInt();
    e->when = QDateTime::fromString(o.value("quando").toString(), Qt::ISODateWithMs);
    return true;
}

QString systemText(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

} // namespace

ResultJournal::ResultJournal(QString path) : m_path(std::move(path)) {}

bool ResultJournal::append(const Entry& e, QString* error) {
    const QByteArray line = encode(e);
    const int fd = ::open(QFile::encodeName(m_path).constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) {
        *error = QStringLiteral("Não foi possível abrir %1: %2").arg(m_path, systemText(errno));
        return false;
    }
    qsizetype written = 0;
    int code = 0;
    while (written < line.size()) {
        const ssize_t n = ::write(fd, line.constData() + written, size_t(line.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            code = n < 0 ? errno : ENOSPC;
            break;
        }
        written += n;
    }
    if (code == 0 && ::fsync(fd) != 0)
        code = errno;
    if (code != 0 && written > 0)
        // A part of the line on the disk: cut it off, so the next entry starts on a line of its own. Should
        // that fail too, the torn line is dropped when the file is read (it has no newline).
        (void)::ftruncate(fd, ::lseek(fd, 0, SEEK_END) - written);
    ::close(fd);
    if (code != 0) {
        *error = QStringLiteral("Não foi possível gravar %1: %2").arg(m_path, systemText(code));
        return false;
    }
    return true;
}

QList<ResultJournal::Entry> ResultJournal::parse(QList<QByteArray>* bad, QStringList* warnings) const {
    QList<Entry> out;
    QFile f(m_path);
    if (!f.open(QIODevice::ReadOnly))
        return out;
    QList<QByteArray> lines = f.readAll().split('\n');
    const QByteArray tail = lines.takeLast(); // after the last newline: empty, or a line not finished
    if (!tail.trimmed().isEmpty() && warnings)
        *warnings << QStringLiteral("%1: a última linha estava incompleta (gravação interrompida) e foi descartada.")
                         .arg(QFileInfo(m_path).fileName());
    for (const QByteArray& line : std::as_const(lines)) {
        if (line.trimmed().isEmpty())
            continue;
        Entry e;
        if (decode(line, &e))
            out << e;
        else
            bad->append(line);
    }
    return out;
}

QList<ResultJournal::Entry> ResultJournal::read(QStringList* warnings) const {
    QList<QByteArray> bad;
    const QList<Entry> out = parse(&bad, warnings);
    if (!bad.isEmpty() && warnings)
        *warnings << QStringLiteral("%1: %2 linha(s) ilegível(is).").arg(QFileInfo(m_path).fileName()).arg(bad.size());
    return out;
}

bool ResultJournal::isEmpty() const {
    const QFileInfo info(m_path);
    return !info.exists() || info.size() == 0;
}

int ResultJournal::apply(const std::function<Applied(const Entry&, QString*)>& store, QString* error,
                         QStringList* warnings) {
    QList<QByteArray> bad;
    const QList<Entry> entries = parse(&bad, warnings);
    if (!bad.isEmpty())
        setAside(bad, warnings);
    int done = 0;
    QString why;
    for (const Entry& e : entries) {
        if (store(e, &why) == Applied::Failed)
            break;
        ++done;
    }
    if (done < entries.size() && error)
        *error = why;
    QString rewriteError;
    if (!rewrite(entries.mid(done), &rewriteError) && error && error->isEmpty())
        *error = rewriteError;
    return done;
}

bool ResultJournal::rewrite(const QList<Entry>& keep, QString* error) const {
    if (keep.isEmpty()) {
        if (!QFile::exists(m_path) || QFile::remove(m_path))
            return true;
        *error = QStringLiteral("Não foi possível esvaziar %1.").arg(m_path);
        return false;
    }
    AtomicFile f(m_path);
    bool ok = f.open();
    for (const Entry& e : keep)
        ok = ok && f.write(encode(e));
    if (ok && f.commit())
        return true;
    *error = f.errorString();
    return false;
}

void ResultJournal::setAside(const QList<QByteArray>& lines, QStringList* warnings) const {
    QFile aside(m_path + QStringLiteral(".ruins"));
    if (aside.open(QIODevice::Append)) {
        for (const QByteArray& line : lines)
            aside.write(line + '\n');
        aside.close();
    }
    if (warnings)
        *warnings << QStringLiteral("%1: %2 linha(s) ilegível(is) guardada(s) em %3 para exame.")
                         .arg(QFileInfo(m_path).fileName())
                         .arg(lines.size())
                         .arg(QFileInfo(aside.fileName()).fileName());
}
