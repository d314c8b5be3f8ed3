#pragma once

#include <QSqlError>
#include <QSqlQuery>
#include <QVariantList>
#include <gtest/gtest.h>

#include "TempDataDir.h"
#include "store/TADO.h"

// Runs one statement on the test database with positional bindings.
inline void sql(TADO* ado, const QString& statement, const QVariantList& values = {}) {
    QSqlQuery q(ado->database());
    if (values.isEmpty()) { // not prepared: PostgreSQL prepares no ALTER or CREATE
        ASSERT_TRUE(q.exec(statement)) << q.lastError().text().toStdString() << " in " << statement.toStdString();
        return;
    }
    ASSERT_TRUE(q.prepare(statement)) << q.lastError().text().toStdString();
    for (const QVariant& v : values)
        q.addBindValue(v);
    ASSERT_TRUE(q.exec()) << q.lastError().text().toStdString() << " in " << statement.toStdString();
}

inline void addContact(TADO* ado, const QString& nome, const QString& fone, const QVariant& grupo,
                       bool desativado = false, const QString& texto = {}) {
    sql(ado, "INSERT INTO dbCLIENTE (NOME, FONE, EMAIL, ID_GRUPO, DESATIVADO, TEXTO) VALUES (?, ?, ?, ?, ?, ?)",
        {nome, fone, QString(nome.toLower() + "@x.com"), grupo, desativado ? 1 : 0, texto});
}

inline void setSetting(TADO* ado, const QString& column, const QVariant& value) {
    sql(ado, QStringLiteral("UPDATE dbCFG SET %1 = ?").arg(column), {value});
    ado->dbCFG->refresh();
}
