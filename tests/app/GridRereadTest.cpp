#include <QScrollBar>
#include <QSqlQuery>
#include <QTest>
#include <gtest/gtest.h>

#include "TempDataDir.h"
#include "widgets/DbGrid.h"

namespace {

// The contacts grid is read again while the operator looks at a row far down (another station added a contact that
// sorts above it): the grid stays where it was, on the operator's row.
TEST(GridReread, KeepsTheOperatorsRowAndTheScrollWhereTheyWere) {
    TempDataDir d;
    ASSERT_TRUE(d.start().ok);
    QSqlQuery q(d.ado->database());
    ASSERT_TRUE(q.exec("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 599) "
                       "INSERT INTO dbCLIENTE (NOME) SELECT printf('Contato %03d', i) FROM n"));
    Dataset* contacts = d.ado->dbCLIENTE;
    ASSERT_TRUE(contacts->refresh());
    DbGrid grid(contacts);
    grid.resize(400, 300);
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    ASSERT_TRUE(contacts->locate("NOME", "Contato 300"));
    QCoreApplication::processEvents();
    grid.verticalScrollBar()->setValue(grid.verticalScrollBar()->value() + 3); // the row a few lines up
    QCoreApplication::processEvents();
    const int scroll = grid.verticalScrollBar()->value();
    ASSERT_GT(scroll, 200);

    ASSERT_TRUE(q.exec("INSERT INTO dbCLIENTE (NOME) VALUES ('Aaron')"));
    d.ado->rereadTables({"dbCLIENTE"});
    QCoreApplication::processEvents();
    EXPECT_EQ(contacts->text("NOME"), "Contato 300");
    EXPECT_EQ(grid.currentIndex().row(), contacts->recNo());
    EXPECT_LE(qAbs(grid.verticalScrollBar()->value() - scroll), 1) << scroll;
}

} // namespace
