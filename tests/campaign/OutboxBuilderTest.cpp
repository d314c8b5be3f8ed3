#include <QSqlQuery>

#include "CampaignTestSupport.h"
#include "campaign/OutboxBuilder.h"
#include "campaign/TDM.h"

namespace {

using Outcome = OutboxBuilder::Outcome;

class BuilderBase : public ::testing::Test {
protected:
    // The store the test runs on: the SQLite file unless the test runs on both (OnBothStores).
    virtual StoreLocation::Kind storeKind() const { return StoreLocation::Kind::Sqlite; }
    void SetUp() override {
        VESTRAL_START_STORE(m_data, storeKind());
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

class Builder : public OnBothStores<BuilderBase> {};

TEST_P(Builder, DistributionOverSlotsInBlocks) {
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
        // On the server the rows go to the pool (no slot) that the slots claim from; the build's cycles are the same.
        EXPECT_EQ(ports(), m_data.onPostgres() ? QList<int>(c.recipients, 0) : c.expected);
        EXPECT_EQ(probes, c.probes);
    }
}

TEST_P(Builder, QuotasAreDecrementedInTheTable) {
    setSetting(ado, "CASCATA", 3);
    ready = {3, 5};
    load({"11987654301", "11987654302", "11987654303", "11987654304"});
    builder->run(set.get());
    // On the server the quotas are spent when the slots claim, not by the build.
    EXPECT_EQ(column("SELECT ENTRADA || ':' || QTD FROM dbPORTA_ATIVA ORDER BY ENTRADA"),
              m_data.onPostgres() ? QStringList({"3:3", "5:3"}) : QStringList({"3:0", "5:2"}));
    EXPECT_EQ(ado->dbMENSAGEM->recordCount(), 4); // the outbox dataset shows the new rows
}

TEST_P(Builder, CascataZeroStopsAtTheFirstValidRecipient) {
    setSetting(ado, "CASCATA", 0);
    ready = {1, 2};
    load({"123", "11987654321", "11987654322"});
    const auto r = builder->run(set.get());
    EXPECT_EQ(r.outcome, Outcome::Stopped);
    EXPECT_EQ(r.written, 0);
    EXPECT_EQ(probes, 2);
    EXPECT_EQ(log, QStringList({"05/03/2026 14:07:09 Número do Telefone Incorreto: 123"}));
}

TEST_P(Builder, PhoneDigitsAndValidity) {
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

TEST_P(Builder, TextCutTo160) {
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

// PDU mode: a merged text is cut only past six parts, with its own log line; the merge may grow ten times the
// longest six-part text before its bound cuts it.
TEST_P(Builder, PduModeCutsPastSixParts) {
    setSetting(ado, "CASCATA", 10);
    setSetting(ado, "MODO_SMS", "PDU");
    ready = {1};
    addContact(ado, "A", "11987654321", 1, false, QString(30, 'a'));
    ASSERT_TRUE(set->connectSource(TDM::CadastroLocal));
    set->markAll();
    const QString cedilla = QString::fromUtf8("ç");
    struct Case {
        QString body;
        int length;
        bool logged;
    };
    const Case cases[] = {
        {QString(888, 'x') + "[TEXTO]", 918, false},         // exactly six GSM parts
        {QString(889, 'x') + "[TEXTO]", 918, true},          // one septet more
        {cedilla.repeated(372) + "[TEXTO]", 402, false},     // exactly six UCS-2 parts
        {cedilla.repeated(373) + "[TEXTO]", 402, true},      //
        {QString(300, 'x') + "[TEXTO]\x1B\r\n", 333, false}, // controls blanked, still GSM
        {QString("[TEXTO]").repeated(40), 918, true},        // 1200 merged, under the bound of 9180
    };
    for (const Case& c : cases) {
        sql(ado, "DELETE FROM dbMENSAGEM");
        log.clear();
        setSetting(ado, "BODY_SMS", c.body);
        EXPECT_EQ(builder->run(set.get()).outcome, Outcome::Done);
        const QStringList texts = column("SELECT MENSAGEM FROM dbMENSAGEM");
        ASSERT_EQ(texts.size(), 1);
        EXPECT_EQ(texts[0].size(), c.length) << c.body.left(20).toStdString();
        EXPECT_EQ(log.size(), c.logged ? 1 : 0) << c.body.left(20).toStdString();
    }
    EXPECT_EQ(log.value(0), "05/03/2026 14:07:09 (11987654321) SMS maior que 6 partes! Ajustado automaticamente!");
}

// A mode that cannot be read stops the build before any row: the outbox is not filled under a guessed mode.
TEST_P(Builder, UnreadableModeFailsTheBuild) {
    setSetting(ado, "CASCATA", 10);
    ready = {1};
    load({"11987654321"});
    sql(ado, "ALTER TABLE dbCFG DROP COLUMN MODO_SMS");
    const auto r = builder->run(set.get());
    EXPECT_EQ(r.outcome, Outcome::Failed);
    EXPECT_TRUE(r.error.startsWith("Não foi possível ler o modo de envio de SMS: ")) << r.error.toStdString();
    EXPECT_TRUE(column("SELECT ID FROM dbMENSAGEM").isEmpty());
}

TEST_P(Builder, WarningsAndInvalidOnly) {
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

// Rows already built when the re-probe finds no modem do not reach the outbox: the operator is
// told to check the ports and start again, and a second build must not send them twice.
TEST_P(Builder, StopLeavesTheOutboxAsItWas) {
    setSetting(ado, "CASCATA", 2);
    sql(ado, "INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA) VALUES ('11900000000', 'antes', 3)");
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
    EXPECT_EQ(r.written, 0);
    EXPECT_EQ(column("SELECT FONE || ' ' || MENSAGEM FROM dbMENSAGEM ORDER BY ID"), QStringList({"11900000000 antes"}));
    EXPECT_EQ(ado->dbMENSAGEM->recordCount(), 1);
}

} // namespace

namespace {

TEST_P(Builder, ReloadDuringReprobeDoesNotChangeTheRun) {
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

namespace {

// Contact data is not trusted (spreadsheets, the external source): inside the modem's "> " prompt
// a Ctrl-Z ends the message and whatever follows runs as AT commands. The outbox holds exactly
// what goes to the modem, with every control character made a blank.
TEST_P(Builder, ControlCharactersInContactDataBecomeBlanks) {
    setSetting(ado, "CASCATA", 100);
    ready = {1};
    struct Case {
        const char* name;
        QString body;
        QString nome;
        QString email;
        QString expected;
    };
    const QChar nul(0);
    const Case cases[] = {
        {"ctrl-z then a command for another number",
         "Oi [NOME]!",
         "Maria\x1A"
         "AT+CMGS=\"5511999990000\"\rCompre ja",
         {},
         "Oi Maria AT+CMGS=\"5511999990000\" Compre ja!"},
        {"escape cancels the prompt",
         "Oi [NOME]",
         "Ana\x1B"
         "AT",
         {},
         "Oi Ana AT"},
        {"cr lf", "[NOME]", "linha1\r\nlinha2", {}, "linha1  linha2"},
        {"nul", "[NOME]", QString("a") + nul + "b", {}, "a b"}, // SQLite only: PostgreSQL text holds no NUL
        {"delete", "[NOME]", "x\x7Fy", {}, "x y"},
        {"only control characters", "[NOME]", "\x01\x1A\x1B\r\n\t", {}, "      "},
        {"in a later field", "[NOME] [EMAIL]", "Bia",
         "b@x\x1A"
         "ATD",
         "Bia b@x ATD"},
        {"in the template", "Oi\r[NOME]\x1A", "Caio", {}, "Oi Caio "},
        {"printable text untouched", "[NOME]", "João ~ ç 😀", {}, "João ~ ç 😀"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        if (m_data.onPostgres() && c.nome.contains(nul))
            continue;
        sql(ado, "DELETE FROM dbMENSAGEM");
        sql(ado, "DELETE FROM dbCLIENTE");
        sql(ado, "UPDATE dbCFG SET BODY_SMS = ?", {c.body});
        ado->dbCFG->refresh();
        sql(ado, "INSERT INTO dbCLIENTE (NOME, FONE, EMAIL, ID_GRUPO) VALUES (?, '11987654321', ?, 1)",
            {c.nome, c.email});
        ASSERT_TRUE(set->connectSource(TDM::CadastroLocal));
        set->markAll();
        ASSERT_EQ(builder->run(set.get()).outcome, Outcome::Done);
        EXPECT_EQ(column("SELECT FONE || '|' || MENSAGEM FROM dbMENSAGEM"), QStringList({"11987654321|" + c.expected}));
    }
}

// A field holding placeholders is searched again by the later passes: without a bound one row of
// 34 KB grew to gigabytes and aborted the build. The text stops at ten SMS while it is merged,
// then gets the usual cut and its log line.
TEST_P(Builder, HostileRowIsMergedWithinItsBound) {
    setSetting(ado, "CASCATA", 100);
    setSetting(ado, "BODY_SMS", "[NOME]");
    ready = {1};
    sql(ado, "INSERT INTO dbCLIENTE (NOME, FONE, EMAIL, ID_GRUPO) VALUES (?, ?, ?, 1)",
        {QString("[TELEFONE]").repeated(2000), QString("[EMAIL]").repeated(2000), QString("[NOME]").repeated(4000)});
    sql(ado, "INSERT INTO dbCLIENTE (NOME, FONE, EMAIL, ID_GRUPO, TEXTO) VALUES (?, '11987654321', ?, 1, 'abc')",
        {QString("[EMAIL]").repeated(2000), QString("[TEXTO]").repeated(2000)});
    ASSERT_TRUE(set->connectSource(TDM::CadastroLocal));
    set->markAll();
    const auto r = builder->run(set.get());
    ASSERT_EQ(r.outcome, Outcome::Done) << r.error.toStdString();
    EXPECT_EQ(column("SELECT MENSAGEM FROM dbMENSAGEM"), QStringList({QString("abc").repeated(54).left(160)}));
    // By name: "[EMAIL]…" comes before "[TELEFONE]…".
    EXPECT_EQ(log, QStringList({"05/03/2026 14:07:09 (11987654321) SMS maior que 160 caracteres! Ajustado "
                                "automaticamente!",
                                "05/03/2026 14:07:09 () SMS maior que 160 caracteres! Ajustado automaticamente!",
                                "05/03/2026 14:07:09 Número do Telefone Incorreto: "}));
}

class AtomicBuild : public Builder {
protected:
    void SetUp() override {
        BuilderBase::SetUp();
        sql(ado, "INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA) VALUES ('11900000000', 'de antes', 9)");
        before = outbox();
    }
    void loadMany(int count) {
        QSqlDatabase db = ado->database();
        ASSERT_TRUE(db.transaction());
        for (int i = 0; i < count; ++i)
            addContact(ado, QStringLiteral("C%1").arg(i, 4, 10, QLatin1Char('0')),
                       QStringLiteral("1198765%1").arg(i, 4, 10, QLatin1Char('0')), 1);
        ASSERT_TRUE(db.commit());
        ASSERT_TRUE(set->connectSource(TDM::CadastroLocal));
        set->markAll();
    }
    QStringList outbox() { return column("SELECT ID || '|' || FONE || '|' || MENSAGEM FROM dbMENSAGEM ORDER BY ID"); }
    std::string quotas() {
        return column("SELECT ENTRADA || '|' || QTD FROM dbPORTA_ATIVA ORDER BY rowid").join(' ').toStdString();
    }
    QStringList before;
};

// A failure in the middle of a build (the disk, a constraint) leaves the outbox as it was: the
// rows of the cycles already done must not stay behind to be sent twice after a rebuild.
TEST_P(AtomicBuild, FailureMidBuildLeavesTheOutboxAsItWas) {
    setSetting(ado, "CASCATA", 2);
    ready = {1, 2};
    load({"11987654301", "11987654302", "11987654303", "11987654304", "11987654305", "11987654306"});
    struct Case {
        const char* name;
        QStringList ddl;
    };
    const bool pg = m_data.onPostgres();
    const QString pgFailure = "CREATE FUNCTION falha() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
                              "IF TG_TABLE_NAME = 'dbporta_ativa' THEN RAISE EXCEPTION 'falha simulada'; END IF; "
                              "IF NEW.FONE = '11987654305' THEN RAISE EXCEPTION 'falha simulada'; END IF; "
                              "RETURN NEW; END $$";
    if (pg)
        sql(ado, pgFailure);
    const Case cases[] = {
        {"a slot's quota update refused",
         {pg ? "CREATE TRIGGER falha BEFORE UPDATE ON dbPORTA_ATIVA FOR EACH ROW EXECUTE FUNCTION falha()"
             : "CREATE TRIGGER falha BEFORE UPDATE ON dbPORTA_ATIVA BEGIN SELECT RAISE(ABORT, 'falha simulada'); END",
          pg ? "DROP TRIGGER falha ON dbPORTA_ATIVA" : "DROP TRIGGER falha"}},
        {"an outbox row refused",
         {pg ? "CREATE TRIGGER falha BEFORE INSERT ON dbMENSAGEM FOR EACH ROW EXECUTE FUNCTION falha()"
             : "CREATE TRIGGER falha BEFORE INSERT ON dbMENSAGEM WHEN NEW.FONE = '11987654305' "
               "BEGIN SELECT RAISE(ABORT, 'falha simulada'); END",
          pg ? "DROP TRIGGER falha ON dbMENSAGEM" : "DROP TRIGGER falha"}},
    };
    for (const Case& c : cases) {
        // On the server the build spends no quota (the slots do when they claim): no update to refuse.
        if (pg && QByteArray(c.name).startsWith("a slot's quota"))
            continue;
        SCOPED_TRACE(c.name);
        sql(ado, c.ddl.at(0));
        const auto r = builder->run(set.get());
        EXPECT_EQ(r.outcome, Outcome::Failed);
        EXPECT_EQ(r.written, 0);
        EXPECT_TRUE(r.error.contains("falha simulada")) << r.error.toStdString();
        EXPECT_EQ(outbox(), before);
        EXPECT_EQ(ado->dbMENSAGEM->recordCount(), 1);
        EXPECT_EQ(quotas(), "1|2 2|2"); // as the last re-probe wrote them
        sql(ado, c.ddl.at(1));
    }
    const auto r = builder->run(set.get()); // the same build, once nothing fails
    EXPECT_EQ(r.outcome, Outcome::Done);
    EXPECT_EQ(r.written, 6);
    EXPECT_EQ(outbox().size(), 7);
}

// The progress report runs with no transaction open: what other handlers write meanwhile on the
// same connection (history rows of a send) is theirs and stays, also when the build is cancelled.
TEST_P(AtomicBuild, ProgressAndCancel) {
    setSetting(ado, "CASCATA", 100);
    ready = {1, 2};
    loadMany(600);
    QList<QList<int>> reports;
    int cancelAt = 0;
    builder->setProgress([&](const OutboxBuilder::Progress& p) {
        reports.append({p.visited, p.staged, p.cycles, p.total});
        QSqlDatabase db = ado->database();
        EXPECT_TRUE(db.transaction()) << "a transaction of the build is open";
        sql(ado, "INSERT INTO dbHISTORICO (DESTINATARIO, MENSAGEM, TIPO, ENVIADO) VALUES ('x', 'y', 'SMS', 1)");
        EXPECT_TRUE(db.commit());
        return reports.size() != cancelAt;
    });
    const auto done = builder->run(set.get());
    ASSERT_EQ(done.outcome, Outcome::Done);
    EXPECT_EQ(done.written, 600);
    EXPECT_EQ(reports,
              (QList<QList<int>>{{201, 200, 2, 600}, {250, 250, 2, 600}, {401, 400, 3, 600}, {500, 500, 3, 600}}));
    sql(ado, "DELETE FROM dbMENSAGEM WHERE PORTA IS NULL OR PORTA <> 9"); // the pool rows too, on the server
    for (cancelAt = 1; cancelAt <= 4; ++cancelAt) {
        SCOPED_TRACE(cancelAt);
        reports.clear();
        const auto r = builder->run(set.get());
        EXPECT_EQ(r.outcome, Outcome::Cancelled);
        EXPECT_EQ(r.written, 0);
        EXPECT_EQ(reports.size(), cancelAt);
        EXPECT_EQ(outbox(), before);
        EXPECT_EQ(quotas(), "1|100 2|100"); // no quota spent by a build that did not happen
    }
    EXPECT_EQ(column("SELECT COUNT(*) FROM dbHISTORICO"), QStringList({"14"}));
}

} // namespace

INSTANTIATE_TEST_SUITE_P(Store, Builder, kBothStores, storeName);
INSTANTIATE_TEST_SUITE_P(Store, AtomicBuild, kBothStores, storeName);
