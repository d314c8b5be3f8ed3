#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSqlError>
#include <QSqlQuery>
#include <QTest>
#include <gtest/gtest.h>

#include "TempDataDir.h"
#include "contacts/ContatosPage.h"
#include "contacts/GroupChooser.h"
#include "contacts/GruposPage.h"
#include "store/TADO.h"
#include "widgets/DbGrid.h"

namespace {

class ContatosPageTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_data.start().ok);
        ado = m_data.ado.get();
        exec("INSERT INTO dbGRUPO (ID_GRUPO, GRUPO) VALUES (2, 'VIP')");
        exec("INSERT INTO dbCLIENTE (NOME, FONE, ID_GRUPO, DESATIVADO) VALUES ('Ana', '1', 1, 0), "
             "('Bruno', '2', 2, 1), ('Carla', '3', 2, 0), ('Daniela', '4', 1, 1)");
        ASSERT_TRUE(ado->dbCLIENTE->refresh());
        page = std::make_unique<ContatosPage>(ado);
        page->show();
    }
    void exec(const QString& sql) {
        QSqlQuery q(ado->database());
        ASSERT_TRUE(q.exec(sql)) << q.lastError().text().toStdString();
    }
    QStringList listed() const {
        QStringList out;
        Dataset* d = ado->dbCLIENTE;
        for (int i = 0; i < d->recordCount(); ++i)
            out << d->valueAt(i, d->fieldIndex("NOME")).toString();
        return out;
    }
    TempDataDir m_data;
    TADO* ado = nullptr;
    std::unique_ptr<ContatosPage> page;
};

TEST_F(ContatosPageTest, LastCriterionWinsAndClearingShowsEveryone) {
    const QStringList everyone{"Ana", "Bruno", "Carla", "Daniela"};
    page->statusChoice()->setCurrentIndex(2); // "Desativado"
    EXPECT_EQ(listed(), QStringList({"Bruno", "Daniela"}));
    QLineEdit* nome = page->searchBoxes().at(0);
    QTest::keyClicks(nome, "a"); // searches every contact, though "Desativado" still shows
    EXPECT_EQ(listed(), QStringList({"Ana", "Carla", "Daniela"}));
    QTest::keyClicks(nome, "n");
    EXPECT_EQ(listed(), QStringList({"Ana", "Daniela"}));
    EXPECT_EQ(page->statusChoice()->currentIndex(), 2);
    QTest::mouseClick(page->searchBoxes().at(1), Qt::LeftButton); // a click into a box empties them all
    EXPECT_TRUE(nome->text().isEmpty());
    EXPECT_EQ(listed(), everyone);

    page->groupCheck()->click(); // ticked without a group: everyone
    EXPECT_EQ(listed(), everyone);
    page->groupChooser()->setCurrentIndex(page->groupChooser()->findText("VIP"));
    Q_EMIT page->groupChooser()->activated(page->groupChooser()->currentIndex());
    EXPECT_EQ(listed(), QStringList({"Bruno", "Carla"}));

    page->LimparFiltroClick();
    EXPECT_FALSE(page->groupCheck()->isChecked());
    EXPECT_EQ(page->statusChoice()->currentIndex(), 0);
    EXPECT_EQ(listed(), everyone);
}

TEST_F(ContatosPageTest, GroupChoosersFollowTheGroupsTable) {
    GruposPage groups(ado);
    exec("INSERT INTO dbGRUPO (ID_GRUPO, GRUPO) VALUES (3, 'Novos')");
    page->groupChooser()->refill(); // as when it drops down
    EXPECT_GE(page->groupChooser()->findText("Novos"), 0);
    EXPECT_EQ(page->groupChooser()->itemData(page->groupChooser()->findText("Novos")).toLongLong(), 3);
}

} // namespace
