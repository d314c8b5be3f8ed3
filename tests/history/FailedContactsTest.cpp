#include "history/FailedContacts.h"
#include "HistoryFixture.h"
#include "history/HistorySearch.h"

using FailedContacts::Action;

namespace {

TEST(FailedContactsAddress, TextAfterTheLastBracketIsTheAddress) {
    const std::pair<const char*, const char*> cases[] = {
        {"(Ana) ana@x.com", "ana@x.com"}, {"(Ana (filial)) ana@x.com", "ana@x.com"},     {"(Ana) ) b@x.com", "b@x.com"},
        {"ana@x.com", "ana@x.com"},       {"(O'Brien) o'brien@x.com ", "o'brien@x.com"}, {"(Ana) ", ""},
    };
    for (const auto& [in, out] : cases)
        EXPECT_EQ(FailedContacts::emailAddressOf(QString::fromUtf8(in)), QString::fromUtf8(out)) << in;
}

class FailedContactsDbBase : public HistoryFixture {
protected:
    void SetUp() override {
        HistoryFixture::SetUp();
        addContact("Ana", "5511911110000", "Ana@X.com");
        addContact("Ana filha", "5511911110000", "filha@x.com");
        addContact("Bia", "5511922220000", "bia@x.com");
        addContact("O'Brien", "5511933330000", "o'brien@x.com");
        addContact("Caio", "55119%", "caio_1@x.com");
        addContact("Sem fone", "", "");
    }
    void searchAll() {
        HistorySearch::Filter f;
        ASSERT_TRUE(HistorySearch::run(ado()->dbHISTORICO, f, nullptr));
    }
    QStringList disabled() { return column("SELECT NOME FROM dbCLIENTE WHERE DESATIVADO = 1 ORDER BY NOME"); }
    QStringList remaining() { return column("SELECT NOME FROM dbCLIENTE ORDER BY NOME"); }
};

class FailedContactsDb : public OnBothStores<FailedContactsDbBase> {};

TEST_P(FailedContactsDb, FailedSmsDisablesEveryContactWithThatPhone) {
    addHistory("2026-12-01 10:00:00", "5511911110000", "SMS", false);
    addHistory("2026-12-01 10:01:00", "5511922220000", "SMS", true); // sent: skipped
    searchAll();
    const FailedContacts::Result r = FailedContacts::apply(ado(), ado()->dbHISTORICO, Action::Disable);
    EXPECT_EQ(disabled(), (QStringList{"Ana", "Ana filha"}));
    EXPECT_EQ(r.failedRows, 1);
    EXPECT_EQ(r.contactsChanged, 2);
}

TEST_P(FailedContactsDb, RecipientTextIsMatchedLiterally) {
    // A quote would break a pasted statement; '%' and '_' would widen a LIKE pattern.
    struct Case {
        const char* destino;
        const char* tipo;
        QStringList affected;
    } cases[] = {
        {"(O'Brien) O'BRIEN@x.com", "E-Mail", {"O'Brien"}},
        {"(Ana) ana@x.com", "E-Mail", {"Ana"}},
        {"55119%", "SMS", {"Caio"}},
        {"5511%", "SMS", {}},
        {"(Caio) caio%@x.com", "E-Mail", {}},
        {"(x) caio_1@X.COM", "E-Mail", {"Caio"}},
        {"5511'; DELETE FROM dbCLIENTE; --", "SMS", {}},
        {"", "SMS", {}},
        {"(Sem) ", "E-Mail", {}},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(ado()->dbCLIENTE->refresh());
        column("UPDATE dbCLIENTE SET DESATIVADO = 0");
        column("DELETE FROM dbHISTORICO");
        addHistory("2026-12-01 10:00:00", QString::fromUtf8(c.destino), c.tipo, false);
        searchAll();
        FailedContacts::apply(ado(), ado()->dbHISTORICO, Action::Disable);
        EXPECT_EQ(disabled(), c.affected) << c.destino;
        EXPECT_EQ(remaining().size(), 6) << c.destino;
    }
}

TEST_P(FailedContactsDb, DeleteRemovesFailedContactsOfBothChannels) {
    addHistory("2026-12-01 10:00:00", "5511911110000", "SMS", false);
    addHistory("2026-12-01 10:01:00", "(Bia) BIA@X.COM", "E-Mail", false);
    addHistory("2026-12-01 10:02:00", "(O'Brien) o'brien@x.com", "E-Mail", true);
    searchAll();
    FailedContacts::apply(ado(), ado()->dbHISTORICO, Action::Delete);
    EXPECT_EQ(remaining(), (QStringList{"Caio", "O'Brien", "Sem fone"}));
}

TEST_P(FailedContactsDb, OnlySuccessfulRowsChangeNothing) {
    addHistory("2026-12-01 10:00:00", "5511911110000", "SMS", true);
    addHistory("2026-12-01 10:01:00", "(Bia) bia@x.com", "E-Mail", true);
    searchAll();
    const FailedContacts::Result r = FailedContacts::apply(ado(), ado()->dbHISTORICO, Action::Delete);
    EXPECT_EQ(r.failedRows, 0);
    EXPECT_EQ(remaining().size(), 6);
}

TEST_P(FailedContactsDb, AFailingRowIsSkippedAndTheWalkGoesOn) {
    addHistory("2026-12-01 10:00:00", "5511922220000", "SMS", false);
    addHistory("2026-12-01 10:01:00", "5511911110000", "SMS", false);
    searchAll();
    // A trigger refuses the first contact's change only.
    if (d.onPostgres()) {
        column("CREATE FUNCTION recusa() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN "
               "IF OLD.NOME = 'Bia' THEN RAISE EXCEPTION 'recusado'; END IF; RETURN NEW; END $$");
        column("CREATE TRIGGER refuse BEFORE UPDATE ON dbCLIENTE FOR EACH ROW EXECUTE FUNCTION recusa()");
    } else {
        column("CREATE TRIGGER refuse BEFORE UPDATE ON dbCLIENTE WHEN OLD.NOME = 'Bia' "
               "BEGIN SELECT RAISE(ABORT, 'recusado'); END");
    }
    const FailedContacts::Result r = FailedContacts::apply(ado(), ado()->dbHISTORICO, Action::Disable);
    EXPECT_EQ(r.skippedRows, 1);
    EXPECT_EQ(disabled(), (QStringList{"Ana", "Ana filha"}));
}

} // namespace

INSTANTIATE_TEST_SUITE_P(Store, FailedContactsDb, kBothStores, storeName);
