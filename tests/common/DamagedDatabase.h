#pragma once

#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QUuid>

#include "store/TADO.h"

// Overwrites, in the database file at `path`, the leaf page of `table` at 1/`part` of its leaves
// (needs at least `minLeaves`), with 0xff bytes, after a checkpoint that empties the WAL. A
// read that reaches that page fails with "database disk image is malformed"; an index alone still
// answers. Empty on success, else why the page could not be damaged.
inline QString damageLeafPage(const QString& path, const QString& table, int minLeaves, int part) {
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
        q.prepare("SELECT pageno FROM dbstat WHERE name = ? AND pagetype = 'leaf' ORDER BY pageno");
        q.addBindValue(table);
        if (!q.exec())
            return q.lastError().text();
        QList<qint64> leaves;
        while (q.next())
            leaves << q.value(0).toLongLong();
        if (leaves.size() < minLeaves)
            return QStringLiteral("too few pages");
        page = leaves[leaves.size() / part];
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
    return damageLeafPage(dataDir + QStringLiteral("/BDSMS.db"), QStringLiteral("dbCLIENTE"), 8, 2);
}
