#include <QSqlQuery>

#include "CampaignTestSupport.h"
#include "campaign/OutboxBuilder.h"
#include "campaign/TDM.h"

namespace {

using Outcome = OutboxBuilder::Outcome;

class Builder : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_data.start().ok);
        ado = m_data.ado.get();
        setSetting(ado, "BODY_SMS", "Ola [NOME]");
        set = std::make_unique<TDM>(ado);
        builder = std::make_unique<OutboxBuilder>(ado);
        builder->setClock([] { return QDateTime(QDate(2026, 3, 5), QTime(14, 7, 9)); });
        builder->setLog([this](const QString& line) { log << line; });
        // The modem side's probe: every ready slot answers and gets a full block.
        builder->setVerificaPortas([this] {
            ++probes;
            sql(ado, "DELETE FROM dbPORTA_ATIVA");
            for (int s : ready)
                sql(ado, "INSERT INTO dbPORTA_ATIVA (ENTRADA, QTD) VALUES (?, ?)", {s, ado->dbCFG->integer("CASCATA")});
            return !ready.isEmpty();
        });
    }
    void load(const QStringList& phones, bool markAll = true) {
        for (int i = 0; i < phones.size(); ++i)
            addContact(ado, QStringLiteral("C%1").arg(i, 2, 10, QLatin1Char('0')), phones[i], 1);
        ASSERT_TRUE(set->connectSource(TDM::CadastroLocal));
        if (markAll)
            set->markAll();
    }
    QList<int> ports() {
        QList<int> out;
        QSqlQuery q("SELECT PORTA FROM dbMENSAGEM ORDER BY ID", ado->database());
        while (q.next())
            out << q.value(0).toInt();
        return out;
    }
    QStringList column(const QString& sqlText) {
        QStringList out;
        QSqlQuery q(sqlText, ado->database());
        while (q.next())
            out << q.value(0).toString();
        return out;
    }

    TempDataDir m_data;
    TADO* ado = nullptr;
    std::unique_ptr<TDM> set;
    std::unique_ptr<OutboxBuilder> builder;
    QList<int> ready;
    QStringList log;
    int probes = 0;
};

TEST_F(Builder, DistributionOverSlotsInBlocks) {
    struct Case {
        QList<int> slots;
        int cascata;
        int recipients;
        QList<int> expected;
        int probes;
    };
    const Case cases[] = {
        {{3, 5}, 2, 7, {3, 3, 5, 5, 3, 3, 5}, 2}, {{1}, 1, 3, {1, 1, 1}, 3},          {{1}, 3, 3, {1, 1, 1}, 1},
        {{4, 2, 9}, 1, 5, {2, 4, 9, 2, 4}, 2},    {{4, 2, 9}, 3, 4, {2, 2, 2, 4}, 1}, {{1, 2}, 100, 3, {1, 1, 1}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.cascata);
        sql(ado, "DELETE FROM dbMENSAGEM");
        sql(ado, "DELETE FROM dbCLIENTE");
        setSetting(ado, "CASCATA", c.cascata);
        ready = c.slots;
        probes = 0;
        QStringList phones;
        for (int i = 0; i < c.recipients; ++i)
            phones << QStringLiteral("119876543%1").arg(i, 2, 10, QLatin1Char('0'));
        load(phones);
        const auto r = builder->run(set.get());
        EXPECT_EQ(r.outcome, Outcome::Done) << r.error.toStdString();
        EXPECT_EQ(r.written, c.recipients);
        EXPECT_EQ(ports(), c.expected);
        EXPECT_EQ(probes, c.probes);
    }
}

TEST_F(Builder, QuotasAreDecrementedInTheTable) {
    setSetting(ado, "CASCATA", 3);
    ready = {3, 5};
    load({"11987654301", "11987654302", "11987654303", "11987654304"});
    builder->run(set.get());
    EXPECT_EQ(column("SELECT ENTRADA || ':' || QTD FROM dbPORTA_ATIVA ORDER BY ENTRADA"), QStringList({"3:0", "5:2"}));
    EXPECT_EQ(ado->dbMENSAGEM->recordCount(), 4); // the outbox dataset shows the new rows
}

TEST_F(Builder, CascataZeroStopsAtTheFirstValidRecipient) {
    setSetting(ado, "CASCATA", 0);
    ready = {1, 2};
    load({"123", "11987654321", "11987654322"});
    const auto r = builder->run(set.get());
    EXPECT_EQ(r.outcome, Outcome::Stopped);
    EXPECT_EQ(r.written, 0);
    EXPECT_EQ(probes, 2);
    EXPECT_EQ(log, QStringList({"05/03/2026 14:07:09 Número do Telefone Incorreto: 123"}));
}

TEST_F(Builder, PhoneDigitsAndValidity) {
    setSetting(ado, "CASCATA", 10);
    ready = {1};
    // Loaded in name order C00, C01, ...
    load({"(11) 9876-5432", "119876543", "1198765432101", "55 11 8765-4321", "", "021 98765 4321"});
    const auto r = builder->run(set.get());
    EXPECT_EQ(r.outcome, Outcome::Done);
    EXPECT_EQ(column("SELECT FONE FROM dbMENSAGEM ORDER BY ID"),
              QStringList({"1198765432", "551187654321", "021987654321"}));
    EXPECT_EQ(log, QStringList({"05/03/2026 14:07:09 Número do Telefone Incorreto: 119876543",
                                "05/03/2026 14:07:09 Número do Telefone Incorreto: 1198765432101",
                                "05/03/2026 14:07:09 Número do Telefone Incorreto: "}));
    EXPECT_EQ(column("SELECT MENSAGEM FROM dbMENSAGEM WHERE ID = (SELECT MIN(ID) FROM dbMENSAGEM)"),
              QStringList({"Ola C00"}));
}

TEST_F(Builder, TextCutTo160) {
    setSetting(ado, "CASCATA", 10);
    setSetting(ado, "BODY_SMS", "[TEXTO]");
    ready = {1};
    addContact(ado, "A", "11987654321", 1, false, QString(30, 'a'));
    ASSERT_TRUE(set->connectSource(TDM::CadastroLocal));
    set->markAll();
    struct Case {
        QString body;
        int length;
        bool logged;
    };
    const Case cases[] = {
        {QString(130, 'x') + "[TEXTO]", 160, false},
        {QString(131, 'x') + "[TEXTO]", 160, true},
        {"[TEXTO][TEXTO][TEXTO][TEXTO][TEXTO][TEXTO]", 160, true},
        {QString(129, 'x') + "[TEXTO]😀", 159, true}, // the emoji would be split: dropped whole
    };
    for (const Case& c : cases) {
        sql(ado, "DELETE FROM dbMENSAGEM");
        log.clear();
        setSetting(ado, "BODY_SMS", c.body);
        builder->run(set.get());
        const QStringList texts = column("SELECT MENSAGEM FROM dbMENSAGEM");
        ASSERT_EQ(texts.size(), 1);
        EXPECT_EQ(texts[0].size(), c.length);
        EXPECT_EQ(log.size(), c.logged ? 1 : 0);
    }
    EXPECT_EQ(log.value(0),
              "05/03/2026 14:07:09 (11987654321) SMS maior que 160 caracteres! Ajustado automaticamente!");
}

TEST_F(Builder, WarningsAndInvalidOnly) {
    setSetting(ado, "CASCATA", 5);
    load({"123", "456"}, false);
    EXPECT_EQ(builder->run(set.get()).outcome, Outcome::NoPorts); // no slot ready
    EXPECT_EQ(probes, 1);
    ready = {2};
    EXPECT_EQ(builder->run(set.get()).outcome, Outcome::NoMarks); // probed, then nothing marked
    EXPECT_EQ(probes, 2);
    set->markAll();
    const auto r = builder->run(set.get());
    EXPECT_EQ(r.outcome, Outcome::Done);
    EXPECT_EQ(r.written, 0);
    EXPECT_EQ(column("SELECT QTD FROM dbPORTA_ATIVA"), QStringList({"5"}));
    EXPECT_EQ(log.size(), 2);
}

TEST_F(Builder, StopsKeepingRowsWhenTheReprobeFindsNothing) {
    setSetting(ado, "CASCATA", 2);
    ready = {7};
    load({"11987654301", "11987654302", "11987654303"});
    builder->setVerificaPortas([this, first = true]() mutable {
        ++probes;
        sql(ado, "DELETE FROM dbPORTA_ATIVA");
        if (first)
            sql(ado, "INSERT INTO dbPORTA_ATIVA (ENTRADA, QTD) VALUES (7, 2)");
        const bool answered = first;
        first = false;
        return answered;
    });
    const auto r = builder->run(set.get());
    EXPECT_EQ(r.outcome, Outcome::Stopped);
    EXPECT_EQ(r.written, 2);
    EXPECT_EQ(ports(), QList<int>({7, 7}));
}

} // namespace

namespace {

TEST_F(Builder, ReloadDuringReprobeDoesNotChangeTheRun) {
    setSetting(ado, "CASCATA", 1);
    load({"11987654301", "11987654302", "11987654303"});
    builder->setVerificaPortas([this] {
        if (++probes == 2) { // the operator reconnects while the modems are re-tested
            sql(ado, "DELETE FROM dbCLIENTE");
            set->connectSource(TDM::CadastroLocal);
        }
        sql(ado, "DELETE FROM dbPORTA_ATIVA");
        sql(ado, "INSERT INTO dbPORTA_ATIVA (ENTRADA, QTD) VALUES (1, 1)");
        return true;
    });
    const auto r = builder->run(set.get());
    EXPECT_EQ(r.outcome, Outcome::Done);
    EXPECT_EQ(column("SELECT FONE || ' ' || MENSAGEM FROM dbMENSAGEM ORDER BY ID"),
              QStringList({"11987654301 Ola C00", "11987654302 Ola C01", "11987654303 Ola C02"}));
}

} // namespace
