#pragma once

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QUuid>

#include "store/TADO.h"

// Makes BDSMS.db in `dataDir` with `contacts` contacts ("Nome 00000", … in key and name order,
// group 1), then overwrites one page in the middle of the contacts table on disk. The first rows
// by name and COUNT(*) (read from the name index) stay readable; a read that reaches the middle
// of the table fails with SQLite's "database disk image is malformed". Empty on success, else why
// the file could not be made.
inline QString makeDamagedContacts(const QString& dataDir, int contacts) {
    {
        TADO ado;
        if (!ado.start(dataDir).ok)
            return QStringLiteral("start");
        QSqlDatabase db = ado.database();
        db.transaction();
        QSqlQuery q(db);
        q.prepare("INSERT INTO dbCLIENTE (NOME, FONE, ID_GRUPO, TEXTO) VALUES (?, ?, 1, ?)");
        for (int i = 0; i < contacts; ++i) {
            q.addBindValue(QStringLiteral("Nome %1").arg(i, 5, 10, QLatin1Char('0')));
            q.addBindValue(QStringLiteral("1199%1").arg(i, 7, 10, QLatin1Char('0')));
            q.addBindValue(QString(30, QLatin1Char('t')));
            if (!q.exec())
                return q.lastError().text();
        }
        if (!db.commit())
            return db.lastError().text();
    } // every connection closed: the WAL is written back into the file
    const QString path = dataDir + QStringLiteral("/BDSMS.db");
    const QString name = QUuid::createUuid().toString();
    qint64 page = 0, pageSize = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", name);
        db.setDatabaseName(path);
        if (!db.open())
            return db.lastError().text();
        QSqlQuery q(db);
        if (!q.exec("PRAGMA page_size") || !q.next())
            return q.lastError().text();
        pageSize = q.value(0).toLongLong();
        if (!q.exec("SELECT pageno FROM dbstat WHERE name = 'dbCLIENTE' AND pagetype = 'leaf' ORDER BY pageno"))
            return q.lastError().text();
        QList<qint64> leaves;
        while (q.next())
            leaves << q.value(0).toLongLong();
        if (leaves.size() < 8)
            return QStringLiteral("too few pages");
        page = leaves[leaves.size() / 2];
        q.finish();
        q.exec("PRAGMA wal_checkpoint(TRUNCATE)");
    }
    QSqlDatabase::removeDatabase(name);
    QFile f(path);
    if (!f.open(QIODevice::ReadWrite) || !f.seek((page - 1) * pageSize))
        return f.errorString();
    if (f.write(QByteArray(int(pageSize), '\xff')) != pageSize)
        return f.errorString();
    return {};
}
