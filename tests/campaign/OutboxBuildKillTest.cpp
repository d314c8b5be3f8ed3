// A build killed with SIGKILL or cancelled at the worst moments leaves the outbox and the slots' quotas
// exactly as they were.
#include <QProcess>
#include <QSqlQuery>
#include <csignal>

#include "CampaignTestSupport.h"
#include "MissingPeer.h"

namespace {

class KilledBuild : public ::testing::Test {
protected:
    void SetUp() override {
        m_program = qEnvironmentVariable("VESTRAL_BINARY_DIR") + "/tests/campaign/outbox_build_child";
        if (!QFile::exists(m_program))
            VESTRAL_SKIP_MISSING_PEER("not built: " << m_program.toStdString());
        ASSERT_TRUE(m_data.start().ok);
        ado = m_data.ado.get();
        setSetting(ado, "CASCATA", 100);
        setSetting(ado, "BODY_SMS", "Oi [NOME]");
        QSqlDatabase db = ado->database();
        ASSERT_TRUE(db.transaction());
        for (int i = 0; i < 2000; ++i)
            addContact(ado, QStringLiteral("C%1").arg(i, 4, 10, QLatin1Char('0')),
                       QStringLiteral("1198765%1").arg(i, 4, 10, QLatin1Char('0')), 1);
        sql(ado, "INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA) VALUES ('11900000000', 'de antes', 9)");
        sql(ado, "INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA) VALUES ('11900000001', 'de antes', 9)");
        // The quotas as the child's re-probe writes them: what a build that did not happen leaves.
        sql(ado, "DELETE FROM dbPORTA_ATIVA");
        for (int slot = 1; slot <= 4; ++slot)
            sql(ado, QStringLiteral("INSERT INTO dbPORTA_ATIVA (ENTRADA, QTD) VALUES (%1, 100)").arg(slot));
        ASSERT_TRUE(db.commit());
        before = outbox();
        beforeQuotas = quotas();
    }
    // The whole table, one "rowid|ENTRADA|QTD" a row.
    std::string quotas() {
        QStringList rows;
        QSqlQuery q("SELECT rowid || '|' || ENTRADA || '|' || QTD FROM dbPORTA_ATIVA ORDER BY rowid", ado->database());
        while (q.next())
            rows << q.value(0).toString();
        return rows.join(' ').toStdString();
    }
    QStringList outbox() {
        QStringList rows;
        QSqlQuery q("SELECT ID || '|' || FONE || '|' || MENSAGEM || '|' || PORTA FROM dbMENSAGEM ORDER BY ID",
                    ado->database());
        while (q.next())
            rows << q.value(0).toString();
        return rows;
    }
    // Starts the child; returns once it reports `line` (or ends).
    void start(QProcess& child, const QStringList& args, const QByteArray& line) {
        child.start(m_program, QStringList{m_data.path()} + args);
        ASSERT_TRUE(child.waitForStarted(60000));
        QByteArray out;
        while (!out.contains(line) && child.state() == QProcess::Running) {
            child.waitForReadyRead(1000);
            out += child.readAllStandardOutput();
        }
        ASSERT_TRUE(out.contains(line)) << out.toStdString() << child.readAllStandardError().toStdString();
    }

    QString m_program;
    TempDataDir m_data;
    TADO* ado = nullptr;
    QStringList before;
    std::string beforeQuotas;
};

TEST_F(KilledBuild, OutboxUnchangedAfterSigkill) {
    // 2,000 rows over 4 slots in blocks of 100: a re-probe every 400 rows, a report every 250.
    const QStringList moments[] = {
        {"probe", "3"},    // inside the third probe: two cycles of rows already saved
        {"probe", "5"},    // inside the last re-probe, 1,600 rows built
        {"progress", "1"}, // inside the first progress report
        {"progress", "7"}, // late in the run
    };
    for (const QStringList& moment : moments) {
        SCOPED_TRACE(moment.join(' ').toStdString());
        QProcess child;
        start(child, moment, "PARADO");
        ::kill(pid_t(child.processId()), SIGKILL);
        ASSERT_TRUE(child.waitForFinished(60000));
        EXPECT_EQ(outbox(), before);
        EXPECT_EQ(quotas(), beforeQuotas);
    }
    // Cancelled at a progress report: early, after a re-probe, in the last cycle.
    for (const char* at : {"1", "4", "7"}) {
        SCOPED_TRACE(at);
        QProcess child;
        start(child, {"cancel", at}, "FIM 0");
        ASSERT_TRUE(child.waitForFinished(60000));
        EXPECT_EQ(child.exitCode(), 1);
        EXPECT_EQ(outbox(), before);
        EXPECT_EQ(quotas(), beforeQuotas);
    }
    // Left alone, the same build ends with every row in the outbox, after the old ones.
    QProcess child;
    start(child, {"none"}, "FIM 2000");
    ASSERT_TRUE(child.waitForFinished(60000));
    EXPECT_EQ(child.exitCode(), 0);
    const QStringList after = outbox();
    ASSERT_EQ(after.size(), 2002);
    EXPECT_EQ(after.mid(0, 2), before);
    EXPECT_TRUE(after[2].endsWith("|11987650000|Oi C0000|1")) << after[2].toStdString();
    EXPECT_TRUE(after[2001].endsWith("|11987651999|Oi C1999|4")) << after[2001].toStdString();
    // The last cycle's 400 rows spent the quotas the last re-probe wrote.
    EXPECT_EQ(quotas(), "1|1|0 2|2|0 3|3|0 4|4|0");
}

} // namespace
