#pragma once

#include <QSqlError>
#include <QSqlQuery>
#include <gtest/gtest.h>

#include "TempDataDir.h"

// A started data module with helpers to put history rows and contacts in place.
class HistoryFixture : public ::testing::Test {
protected:
    void SetUp() override { VESTRAL_START_STORE(d, storeKind()); }
    // The store the test runs on: the SQLite file unless the test runs on both (OnBothStores).
    virtual StoreLocation::Kind storeKind() const { return StoreLocation::Kind::Sqlite; }

    TADO* ado() { return d.ado.get(); }

    // A history row with its own time stamp ("yyyy-MM-dd HH:mm:ss").
    void addHistory(const QString& data, const QString& destino, const QString& tipo, bool enviado,
                    const QString& mensagem = QStringLiteral("texto")) {
        QSqlQuery q(ado()->database());
        q.prepare("INSERT INTO dbHISTORICO (DATA, DESTINATARIO, MENSAGEM, TIPO, ENVIADO) VALUES (?, ?, ?, ?, ?)");
        q.addBindValue(data);
        q.addBindValue(destino);
        q.addBindValue(mensagem);
        q.addBindValue(tipo);
        q.addBindValue(enviado ? 1 : 0);
        ASSERT_TRUE(q.exec()) << q.lastError().text().toStdString();
    }

    void addContact(const QString& nome, const QString& fone, const QString& email) {
        QSqlQuery q(ado()->database());
        q.prepare("INSERT INTO dbCLIENTE (NOME, FONE, EMAIL, ID_GRUPO) VALUES (?, ?, ?, 1)");
        q.addBindValue(nome);
        q.addBindValue(fone);
        q.addBindValue(email);
        ASSERT_TRUE(q.exec()) << q.lastError().text().toStdString();
    }

    // One column of a query's rows, in order.
    QStringList column(const QString& sql) {
        QSqlQuery q(ado()->database());
        EXPECT_TRUE(q.exec(sql)) << q.lastError().text().toStdString();
        QStringList out;
        while (q.next())
            out << q.value(0).toString();
        return out;
    }

    QStringList resultColumn(const QString& field) {
        Dataset* h = ado()->dbHISTORICO;
        QStringList out;
        for (int i = 0; i < h->recordCount(); ++i)
            out << h->valueAt(i, h->fieldIndex(field)).toString();
        return out;
    }

    TempDataDir d;
};
