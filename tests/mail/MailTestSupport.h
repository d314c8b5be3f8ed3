#pragma once

#include <QSqlError>
#include <QSqlQuery>
#include <QTcpServer>
#include <gtest/gtest.h>

#include "TempDataDir.h"
#include "campaign/Merge.h"
#include "mail/EmailCampaign.h"
#include "store/Dataset.h"

// One recipient row of a test: a name and an address; the other fields are derived from the name.
struct Contact {
    const char* nome;
    const char* email;
};

struct HistoryRow {
    QString destinatario;
    QString mensagem;
    QString tipo;
    bool enviado = false;
    bool operator==(const HistoryRow&) const = default;
};

inline void PrintTo(const HistoryRow& r, std::ostream* os) {
    *os << r.destinatario.toStdString() << " | " << r.mensagem.toStdString() << " | " << r.tipo.toStdString() << " | "
        << r.enviado;
}

// Rows with every field the merge reads, as the recipient set gives them.
inline vestral::mail::RecipientRows fakeRows(const QList<Contact>& contacts) {
    vestral::mail::RecipientRows rows;
    rows.count = [contacts] { return int(contacts.size()); };
    rows.fields = [contacts](int row) {
        const Contact c = contacts.at(row);
        return Merge::FieldLookup([c](const QString& field, QString* value) {
            if (field == "NOME")
                *value = QString::fromUtf8(c.nome);
            else if (field == "EMAIL")
                *value = QString::fromUtf8(c.email);
            else if (field == "TELEFONE" || field == "TEXTO" || (field.startsWith("TEXTO") && field.size() == 6))
                *value = field + "-" + QString::fromUtf8(c.nome);
            else
                return false;
            return true;
        });
    };
    return rows;
}

// A fresh database whose settings row the test points at its SMTP server.
class MailDatabaseTest : public testing::Test {
protected:
    void SetUp() override { VESTRAL_START_STORE(m_data, storeKind()); }
    // The store the test runs on: the SQLite file unless the test runs on both (OnBothStores).
    virtual StoreLocation::Kind storeKind() const { return StoreLocation::Kind::Sqlite; }

    TADO* ado() const { return m_data.ado.get(); }

    void sql(const QString& statement, const QVariantList& values = {}) {
        QSqlQuery q(ado()->database());
        ASSERT_TRUE(q.prepare(statement)) << q.lastError().text().toStdString();
        for (const QVariant& v : values)
            q.addBindValue(v);
        ASSERT_TRUE(q.exec()) << q.lastError().text().toStdString();
    }

    // The opt-out footer is left off (RODAPE_SAIR 0), so that bodies are compared as merged; its own test
    // turns it on.
    void configure(const QString& host, quint16 port, const QString& tls, bool ssl) {
        sql("UPDATE dbCFG SET HOST = ?, PORTA = ?, USERNAME = ?, PASSWORD = ?, TLS = ?, SSL = ?, METHODSLL = ?, "
            "ASSUNTO = ?, BODY_EMAIL = ?, TEMPO_EMAIL = ?, RODAPE_SAIR = 0",
            {host, port, "loja@example.com", QString::fromUtf8("s3nhá"), tls, ssl ? 1 : 0, "sslvTLSv1",
             "Oferta para [nome]", QString::fromUtf8("<p>Olá [NOME], [EMAIL]</p>"), 5});
        ado()->dbCFG->refresh();
    }

    void clearHistory() { sql("DELETE FROM dbHISTORICO"); }

    QList<HistoryRow> history() {
        QList<HistoryRow> rows;
        QSqlQuery q(ado()->database());
        q.exec("SELECT DESTINATARIO, MENSAGEM, TIPO, ENVIADO FROM dbHISTORICO ORDER BY ID_HISTORICO");
        while (q.next())
            rows.append({q.value(0).toString(), q.value(1).toString(), q.value(2).toString(), q.value(3).toBool()});
        return rows;
    }

    // A loopback port nobody listens on.
    static quint16 unusedPort() {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        const quint16 port = probe.serverPort();
        probe.close();
        return port;
    }

    TempDataDir m_data;
};
