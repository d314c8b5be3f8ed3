// The SMS that confirms an opt-out: queued once per number, for the slot the request came in on, in the same
// transaction that puts the sender on the list.
#include <gtest/gtest.h>

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include "TempDataDir.h"
#include "optout/InboxOptOut.h"
#include "optout/SuppressionList.h"
#include "store/TADO.h"

namespace {

QVariant scalar(QSqlDatabase db, const QString& sql) {
    QSqlQuery q(db);
    if (!q.exec(sql) || !q.next())
        return {};
    return q.value(0);
}

void exec(QSqlDatabase db, const QString& sql, const QVariantList& values = {}) {
    QSqlQuery q(db);
    q.prepare(sql);
    for (const QVariant& v : values)
        q.addBindValue(v);
    ASSERT_TRUE(q.exec()) << sql.toStdString() << ": " << q.lastError().text().toStdString();
}

struct Received {
    const char* fone;
    const char* sms;
    int entrada;
};

void receive(QSqlDatabase db, const QList<Received>& messages) {
    for (const Received& m : messages)
        exec(db,
             "INSERT INTO dbSMS (ID_SMS, DATA, RECEBIDO, ENTRADA, FONE, SMS, LIDO) VALUES (1, '2026-12-10 10:00:00', "
             "'2026-12-10 09:59:00', ?, ?, ?, 0)",
             {m.entrada, QString::fromUtf8(m.fone), QString::fromUtf8(m.sms)});
}

QString outbox(QSqlDatabase db) {
    return scalar(db, "SELECT group_concat(FONE || '|' || MENSAGEM || '|' || PORTA, '\n') FROM (SELECT * FROM "
                      "dbMENSAGEM ORDER BY ID)")
        .toString();
}

const char* const kLoja = "Você não receberá mais mensagens de Loja Azul.";

struct ConfirmCase {
    const char* name;
    int confirma;
    const char* empresa;
    QList<Received> messages;
    const char* operatorAdded; // on the list before the pass, without a confirmation
    const char* outbox;
};

void PrintTo(const ConfirmCase& c, std::ostream* os) {
    *os << c.name;
}

class OptOutConfirmation : public ::testing::TestWithParam<ConfirmCase> {
protected:
    void SetUp() override {
        auto r = d.start();
        ASSERT_TRUE(r.ok) << r.error.toStdString();
        db = d.ado->database();
    }
    TempDataDir d;
    QSqlDatabase db;
};

TEST_P(OptOutConfirmation, QueuesOneSmsPerNumber) {
    const ConfirmCase& c = GetParam();
    exec(db, "UPDATE dbCFG SET CONFIRMA_SAIR = ?, EMPRESA = ?", {c.confirma, QString::fromUtf8(c.empresa)});
    if (*c.operatorAdded) {
        ASSERT_TRUE(SuppressionList::add(db, c.operatorAdded, SuppressionList::kOrigemOperador).ok());
    }
    receive(db, c.messages);
    const InboxOptOut::Result r = InboxOptOut::judgePending(d.ado.get());
    ASSERT_TRUE(r.error.isEmpty()) << r.error.toStdString();
    const QString expected = QString::fromUtf8(c.outbox);
    EXPECT_EQ(outbox(db), expected);
    EXPECT_EQ(r.confirmations, expected.isEmpty() ? 0 : int(expected.count('\n')) + 1);
    // Judging again, and after a restart, queues nothing more.
    receive(db, c.messages);
    EXPECT_EQ(InboxOptOut::judgePending(d.ado.get()).confirmations, 0);
    d.ado.reset();
    ASSERT_TRUE(d.start().ok);
    db = d.ado->database();
    receive(db, c.messages);
    EXPECT_EQ(InboxOptOut::judgePending(d.ado.get()).confirmations, 0);
    EXPECT_EQ(outbox(db), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OptOutConfirmation,
    ::testing::Values(
        ConfirmCase{"offByDefault", 0, "Loja Azul", {{"+5511987654321", "SAIR", 1}}, "", ""},
        ConfirmCase{"oneForSair",
                    1,
                    "Loja Azul",
                    {{"+5511987654321", "SAIR", 1}},
                    "",
                    "+5511987654321|Você não receberá mais mensagens de Loja Azul.|1"},
        ConfirmCase{"noneForASentence", 1, "Loja Azul", {{"+5511987654321", "vou sair amanhã", 1}}, "", ""},
        ConfirmCase{"anotherSpellingGetsNoSecond",
                    1,
                    "Loja Azul",
                    {{"+5511987654321", "SAIR", 1}, {"011987654321", "pare!", 1}, {"5511987654321", "Stop", 2}},
                    "",
                    "+5511987654321|Você não receberá mais mensagens de Loja Azul.|1"},
        ConfirmCase{"theSlotItCameInOn",
                    1,
                    "Loja Azul",
                    {{"+5521988887777", "Sair", 3}, {"+5531977776666", "Sair", 0}, {"+5541966665555", "Sair", 65}},
                    "",
                    "+5521988887777|Você não receberá mais mensagens de Loja Azul.|3\n"
                    "+5531977776666|Você não receberá mais mensagens de Loja Azul.|1\n"
                    "+5541966665555|Você não receberá mais mensagens de Loja Azul.|1"},
        ConfirmCase{"alphanumericSenderCannotBeAnswered", 1, "Loja Azul", {{"OPERADORA", "SAIR", 1}}, "", ""},
        ConfirmCase{"listedByTheOperatorStillConfirmedOnce",
                    1,
                    "Loja Azul",
                    {{"+5511987654321", "SAIR", 1}},
                    "(11) 98765-4321",
                    "+5511987654321|Você não receberá mais mensagens de Loja Azul.|1"},
        ConfirmCase{"emptyCompanyName",
                    1,
                    " \t ",
                    {{"+5511987654321", "SAIR", 1}},
                    "",
                    "+5511987654321|Você não receberá mais mensagens.|1"},
        ConfirmCase{"companyNameWithControlBytesAndTooLong",
                    1,
                    "Loja\x1b[2J\r\nAzul Comércio de Tecidos Finos e Aviamentos Limitada",
                    {{"+5511987654321", "SAIR", 1}},
                    "",
                    "+5511987654321|Você não receberá mais mensagens de Loja [2J Azul Comércio de Tecidos.|1"}),
    [](const ::testing::TestParamInfo<ConfirmCase>& p) { return std::string(p.param.name); });

// The outbox refusing the row leaves the whole pass undone: the sender is not listed without the confirmation,
// and the next pass tries both again.
TEST(OptOutConfirmationFailure, RefusedOutboxRowUndoesThePass) {
    TempDataDir d;
    ASSERT_TRUE(d.start().ok);
    QSqlDatabase db = d.ado->database();
    exec(db, "UPDATE dbCFG SET CONFIRMA_SAIR = 1");
    exec(db, "CREATE TRIGGER TR_RECUSA BEFORE INSERT ON dbMENSAGEM BEGIN SELECT RAISE(ABORT, 'disco cheio'); END");
    receive(db, {{"+5511987654321", "SAIR", 1}});
    const InboxOptOut::Result r = InboxOptOut::judgePending(d.ado.get());
    EXPECT_TRUE(r.error.contains("disco cheio")) << r.error.toStdString();
    EXPECT_EQ(r.optedOut, 0);
    EXPECT_EQ(scalar(db, "SELECT count(*) FROM dbDESCADASTRO").toInt(), 0);
    EXPECT_TRUE(scalar(db, "SELECT DESCADASTRO FROM dbSMS").isNull());
    exec(db, "DROP TRIGGER TR_RECUSA");
    EXPECT_EQ(InboxOptOut::judgePending(d.ado.get()).confirmations, 1);
    EXPECT_EQ(scalar(db, "SELECT CONFIRMADO FROM dbDESCADASTRO").toInt(), 1);
}

// A file made before the confirmation gets the setting (off) and the mark (none sent) on its listed rows.
TEST(OptOutConfirmationUpgrade, OlderFileGetsTheSettingOffAndTheMark) {
    TempDataDir d;
    {
        TADO ado;
        ASSERT_TRUE(ado.start(d.path()).ok);
        ASSERT_TRUE(SuppressionList::add(ado.database(), "11987654321", SuppressionList::kOrigemSms).ok());
        exec(ado.database(), "ALTER TABLE dbDESCADASTRO DROP COLUMN CONFIRMADO");
        exec(ado.database(), "ALTER TABLE dbCFG DROP COLUMN CONFIRMA_SAIR");
        ado.releaseThreadConnection();
    }
    auto r = d.start();
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_TRUE(r.warnings.isEmpty()) << r.warnings.join("|").toStdString();
    QSqlDatabase db = d.ado->database();
    EXPECT_EQ(scalar(db, "SELECT CONFIRMA_SAIR FROM dbCFG").toInt(), 0);
    EXPECT_EQ(scalar(db, "SELECT CONFIRMADO FROM dbDESCADASTRO").toInt(), 0);
    exec(db, "UPDATE dbCFG SET CONFIRMA_SAIR = 1, EMPRESA = 'Loja Azul'");
    receive(db, {{"+5511987654321", "Sair", 2}});
    EXPECT_EQ(InboxOptOut::judgePending(d.ado.get()).confirmations, 1);
    EXPECT_EQ(outbox(db), "+5511987654321|" + QString::fromUtf8(kLoja) + "|2");
}

} // namespace
