#include <QSqlQuery>

#include "CampaignTestSupport.h"
#include "campaign/BuildOutboxCommand.h"

namespace {

class BuildOutbox : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_data.start().ok);
        ado = m_data.ado.get();
        sql(ado, "INSERT INTO dbGRUPO (ID_GRUPO, GRUPO) VALUES (2, 'VIP')");
        addContact(ado, "Ana", "11987654321", 1);
        addContact(ado, "Bia", "11987654322", 2);
        addContact(ado, "Caio", "11987654323", 2, true);
        addContact(ado, "Davi", "123", 2);
        setSetting(ado, "CASCATA", 10);
    }
    int run(const BuildOutboxCommand::Request& request = {}, bool portsReady = true) {
        out.clear();
        err.clear();
        QTextStream o(&out);
        QTextStream e(&err);
        BuildOutboxCommand::Ports ports;
        ports.openAll = [this, portsReady] {
            ++opened;
            return portsReady;
        };
        ports.verificaPortas = [this, portsReady] {
            sql(ado, "DELETE FROM dbPORTA_ATIVA");
            if (portsReady)
                sql(ado, "INSERT INTO dbPORTA_ATIVA (ENTRADA, QTD) VALUES (1, ?)", {ado->dbCFG->integer("CASCATA")});
            return portsReady;
        };
        return BuildOutboxCommand::run(ado, ports, request, o, e);
    }
    QStringList outbox() {
        QStringList phones;
        QSqlQuery q("SELECT FONE FROM dbMENSAGEM ORDER BY ID", ado->database());
        while (q.next())
            phones << q.value(0).toString();
        return phones;
    }
    TempDataDir m_data;
    TADO* ado = nullptr;
    QString out;
    QString err;
    int opened = 0;
};

TEST_F(BuildOutbox, FiltersMarksAndBuilds) {
    struct Case {
        BuildOutboxCommand::Request request; // status: 0 all, 1 active, 2 disabled
        int status;
        QStringList phones;
    };
    const Case cases[] = {
        {{}, 0, {"11987654321", "11987654322", "11987654323"}},
        {{"VIP", 1}, 0, {"11987654322"}},
        {{"TODOS", 2}, 0, {"11987654323"}},
    };
    for (const Case& c : cases) {
        sql(ado, "DELETE FROM dbMENSAGEM");
        const std::string trace = QString(c.request.group + ' ' + QString::number(c.request.status)).toStdString();
        EXPECT_EQ(run(c.request), c.status) << trace << err.toStdString();
        EXPECT_EQ(outbox(), c.phones) << trace;
    }
}

// A mistyped group is said before any modem is probed, as --import says it.
TEST_F(BuildOutbox, UnknownGroupIsRefused) {
    const std::pair<QString, int> cases[] = {{"Nenhum", 1}, {"vip", 1}, {"VIP ", 1}, {"VIP", 0}, {"TODOS", 0}};
    for (const auto& [group, status] : cases) {
        opened = 0;
        EXPECT_EQ(run({group}), status) << group.toStdString();
        if (status == 1) {
            EXPECT_EQ(err, "Grupo não encontrado: " + group + "\n");
            EXPECT_EQ(opened, 0);
            EXPECT_TRUE(outbox().isEmpty());
        }
        sql(ado, "DELETE FROM dbMENSAGEM");
    }
}

TEST_F(BuildOutbox, PrintsLogLinesAndReportsMissingPorts) {
    EXPECT_EQ(run({"VIP"}), 0);
    EXPECT_TRUE(out.contains("Contatos para envio: 3"));
    EXPECT_TRUE(out.contains(" Número do Telefone Incorreto: 123"));
    EXPECT_TRUE(out.contains("SMS para envio: 2"));
    EXPECT_EQ(run({}, false), 2);
    EXPECT_TRUE(err.contains("Conecte um dispositivo"));
    setSetting(ado, "CASCATA", 0);
    EXPECT_EQ(run({}), 2); // quotas of 0: the builder stops
    EXPECT_TRUE(err.contains("O Sistema foi parado"));
    EXPECT_FALSE(err.contains('\r'));
}

} // namespace
