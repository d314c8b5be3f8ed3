#include "history/Maintenance.h"
#include "HistoryFixture.h"
#include "history/HistoryWriter.h"

using Maintenance::Table;

namespace {

class MaintenanceDbBase : public HistoryFixture {
protected:
    int nextHistoryId() {
        EXPECT_EQ(HistoryWriter::append("1", "x", HistoryWriter::kSms, true), QString());
        return column("SELECT MAX(ID_HISTORICO) FROM dbHISTORICO").value(0).toInt();
    }
};

class MaintenanceDb : public OnBothStores<MaintenanceDbBase> {};

TEST_P(MaintenanceDb, CountsReadEachTable) {
    addHistory("2026-12-01 10:00:00", "1", "SMS", true);
    addHistory("2026-12-01 10:00:01", "2", "SMS", true);
    addContact("Ana", "1", "a@x.com");
    EXPECT_EQ(Maintenance::count(ado(), Table::History), 2);
    EXPECT_EQ(Maintenance::count(ado(), Table::Contacts), 1);
    EXPECT_EQ(Maintenance::count(ado(), Table::Outbox), 0);
    EXPECT_EQ(Maintenance::countText(Table::History, 2), "Total de Registros do Histórico: 2");
    EXPECT_EQ(Maintenance::countText(Table::Contacts, 1), "Total de Registros de Contatos: 1");
    EXPECT_EQ(Maintenance::countText(Table::Outbox, 0), "Total de Mensagens na Caixa de Saída: 0");
}

TEST_P(MaintenanceDb, FullClearRestartsNumberingPeriodClearDoesNot) {
    addHistory("2026-12-01 10:00:00", "1", "SMS", true);
    addHistory("2026-12-02 10:00:00", "2", "SMS", true);
    EXPECT_EQ(Maintenance::clearHistoryPeriod(ado(), QDate(2026, 12, 1), QDate(2026, 12, 2)), QString());
    EXPECT_EQ(Maintenance::count(ado(), Table::History), 0);
    EXPECT_EQ(nextHistoryId(), 3);
    EXPECT_EQ(Maintenance::clearHistory(ado()), QString());
    EXPECT_EQ(Maintenance::count(ado(), Table::History), 0);
    EXPECT_EQ(nextHistoryId(), 1);
    EXPECT_EQ(nextHistoryId(), 2);
}

TEST_P(MaintenanceDb, SameDayPeriodRemovesTheWholeDayOnly) {
    for (const char* t : {"2026-12-04 23:59:59", "2026-12-05 00:00:00", "2026-12-05 12:00:00", "2026-12-05 23:59:59",
                          "2026-12-06 00:00:00"})
        addHistory(QString::fromLatin1(t), "1", "SMS", true);
    EXPECT_EQ(Maintenance::clearHistoryPeriod(ado(), QDate(2026, 12, 5), QDate(2026, 12, 5)), QString());
    EXPECT_EQ(column("SELECT DATA FROM dbHISTORICO ORDER BY DATA"),
              (QStringList{"2026-12-04 23:59:59", "2026-12-06 00:00:00"}));
}

TEST_P(MaintenanceDb, ContactsAndOutboxClearRestartKeysAndReloadTheirDatasets) {
    addContact("Ana", "1", "a@x.com");
    ASSERT_TRUE(ado()->dbCLIENTE->refresh());
    ASSERT_EQ(ado()->dbCLIENTE->recordCount(), 1);
    column("INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA) VALUES ('1', 'a', 1), ('2', 'b', 1)");
    ASSERT_TRUE(ado()->dbMENSAGEM->refresh());
    ASSERT_EQ(ado()->dbMENSAGEM->recordCount(), 2);

    EXPECT_EQ(Maintenance::clearContacts(ado()), QString());
    EXPECT_EQ(Maintenance::clearOutbox(ado()), QString());
    EXPECT_EQ(ado()->dbCLIENTE->recordCount(), 0);
    EXPECT_EQ(ado()->dbMENSAGEM->recordCount(), 0);
    addContact("Bia", "2", "b@x.com");
    column("INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA) VALUES ('3', 'c', 2)");
    EXPECT_EQ(column("SELECT ID_CLIENTE FROM dbCLIENTE"), QStringList{"1"});
    EXPECT_EQ(column("SELECT ID FROM dbMENSAGEM"), QStringList{"1"});
}

} // namespace

INSTANTIATE_TEST_SUITE_P(Store, MaintenanceDb, kBothStores, storeName);
