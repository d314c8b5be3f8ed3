#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QThread>
#include <QUuid>

#include "store/TADO.h"

// What the file holds now, read through a connection made for this one question.
inline int freshCount(const QString& path, const QString& table) {
    const QString name = QStringLiteral("fresh-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
    int n = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(path);
        if (db.open()) {
            QSqlQuery q(db);
            if (q.exec(QStringLiteral("SELECT COUNT(*) FROM %1").arg(table)) && q.next())
                n = q.value(0).toInt();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return n;
}

// Runs `work` on a thread of its own with that thread's connection, as a sender worker does.
template <typename Fn> void onWorkerThread(TADO* ado, Fn work) {
    QThread* t = QThread::create([ado, work] {
        {
            QSqlDatabase db = ado->database();
            work(db);
        }
        ado->releaseThreadConnection();
    });
    t->start();
    t->wait();
    delete t;
}
