#include "store/Integrity.h"

#include <QFile>
#include <QMetaObject>
#include <QPointer>
#include <sqlite3.h>

namespace Integrity {
namespace {

int cancelled(void* flag) {
    return static_cast<const std::atomic<bool>*>(flag)->load() ? 1 : 0;
}

QString errorOf(sqlite3* db) {
    return QString::fromUtf8(db ? sqlite3_errmsg(db) : "sem memória");
}

QStringList runCheck(sqlite3* db, bool full) {
    sqlite3_stmt* stmt = nullptr;
    const char* sql = full ? "PRAGMA integrity_check(100)" : "PRAGMA quick_check(100)";
    if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK)
        return {errorOf(db)};
    QStringList lines;
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(stmt)) == SQLITE_ROW)
        lines << QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, 0)));
    if (rc != SQLITE_DONE)
        lines << errorOf(db);
    sqlite3_finalize(stmt);
    if (lines == QStringList{QStringLiteral("ok")})
        return {};
    return lines;
}

} // namespace

QStringList check(const QString& path, bool full, const std::atomic<bool>* cancel) {
    if (!QFile::exists(path))
        return {QStringLiteral("o arquivo %1 não existe.").arg(path)};
    sqlite3* db = nullptr;
    QStringList problems;
    const QByteArray name = QFile::encodeName(path);
    if (sqlite3_open_v2(name.constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        problems << errorOf(db);
    } else {
        sqlite3_busy_timeout(db, 15000);
        if (cancel)
            sqlite3_progress_handler(db, 10000, cancelled, const_cast<std::atomic<bool>*>(cancel));
        problems = runCheck(db, full);
    }
    sqlite3_close(db);
    return problems;
}

bool isDamage(const QString& errorText) {
    return errorText.contains(QLatin1String("malformed"), Qt::CaseInsensitive) ||
           errorText.contains(QLatin1String("not a database"), Qt::CaseInsensitive);
}

QString adviceText() {
    return QStringLiteral("Feche o programa e restaure uma cópia de segurança do arquivo BDSMS.db da pasta de dados, "
                          "ou recupere o que for possível com:\r"
                          "sqlite3 BDSMS.db .recover | sqlite3 BDSMS-recuperado.db\r"
                          "e ponha BDSMS-recuperado.db no lugar de BDSMS.db.");
}

QString damagedText(const QStringList& problems) {
    return QStringLiteral("O banco de dados está danificado: ") + problems.join(QStringLiteral("; ")) +
           QStringLiteral("\r\r") + adviceText();
}

QString readErrorText(const QString& errorText) {
    if (isDamage(errorText))
        return damagedText({errorText});
    return QStringLiteral("Não foi possível ler o banco de dados: ") + errorText;
}

QString writeErrorText(const QString& reason) {
    return QStringLiteral("Não foi possível gravar no banco de dados: ") + reason;
}

} // namespace Integrity

IntegrityCheck::~IntegrityCheck() {
    m_cancel = true;
    if (m_thread.joinable())
        m_thread.join();
}

void IntegrityCheck::start(const QString& path) {
    if (m_thread.joinable())
        return;
    m_thread = std::thread([this, path] {
        const QStringList problems = Integrity::check(path, false, &m_cancel);
        if (m_cancel)
            return;
        // Handed to this object's thread; the destructor joins before the object goes away.
        QMetaObject::invokeMethod(
            this, [this, problems] { Q_EMIT finished(problems); }, Qt::QueuedConnection);
    });
}
