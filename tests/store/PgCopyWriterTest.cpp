// Rows streamed to the server by COPY: texts that COPY's own format gives a meaning to come back as they went,
// and a run that is cancelled, refused or abandoned leaves nothing behind.
#include <QSqlQuery>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "MissingPeer.h"
#include "PgServer.h"
#include "store/PgCopyWriter.h"
#include "store/TADO.h"

namespace {

class PgCopy : public ::testing::Test {
protected:
    void SetUp() override {
        if (!db.ok())
            VESTRAL_SKIP_MISSING_PEER("PostgreSQL: " << db.why.toStdString());
        TADO ado;
        ado.setStore(db.location());
        const auto r = ado.start(dir.path());
        ASSERT_TRUE(r.ok) << r.error.toStdString();
    }
    int rows() { return db.server->scalar(db.name, "SELECT count(*) FROM dbmensagem").toInt(); }

    PgDatabase db;
    QTemporaryDir dir;
};

TEST_F(PgCopy, TextsWithCopysOwnSignsComeBackAsTheyWent) {
    const QStringList texts{
        "tab\there",
        "line\nbreak",
        "carriage\rreturn",
        "back\\slash",
        "\\N",
        "\\.",
        "ends with a backslash\\",
        "Olá, João — ação ✓ 😀",
        QString(900, QChar(u'ç')),
        "",
        QStringLiteral("nul") + QChar(u'\0') + QStringLiteral("dropped"),
        "\x01\x02\x1b[31m control bytes",
    };
    PgCopyWriter w;
    ASSERT_EQ(w.open(db.location(), "dbMENSAGEM", {"FONE", "MENSAGEM"}), QString());
    for (int i = 0; i < texts.size(); ++i)
        ASSERT_EQ(w.add({QString::number(i), texts[i]}), QString());
    ASSERT_EQ(w.add({"null", QString()}), QString());
    ASSERT_EQ(w.commit(), QString());
    TADO ado;
    ado.setStore(db.location());
    ASSERT_TRUE(ado.start(dir.path()).ok);
    QSqlQuery q(ado.database());
    ASSERT_TRUE(q.exec("SELECT FONE, MENSAGEM, MENSAGEM IS NULL FROM dbMENSAGEM ORDER BY ID"));
    int i = 0;
    for (; q.next() && i < texts.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(q.value(0).toString(), QString::number(i));
        QString expected = texts[i];
        expected.remove(QChar(u'\0'));
        EXPECT_EQ(q.value(1).toString(), expected);
    }
    EXPECT_EQ(i, texts.size());
    ASSERT_TRUE(q.isValid());
    EXPECT_EQ(q.value(0).toString(), "null");
    EXPECT_TRUE(q.value(2).toBool()) << "a null text is SQL NULL, not an empty text";
}

TEST_F(PgCopy, ACancelledRefusedOrAbandonedRunStoresNothing) {
    struct Case {
        const char* name;
        int how; // 0 cancel, 1 a row the table refuses, 2 the writer dropped without commit
    };
    for (const Case c : {Case{"cancelled", 0}, Case{"a refused row", 1}, Case{"abandoned", 2}}) {
        SCOPED_TRACE(c.name);
        {
            PgCopyWriter w;
            ASSERT_EQ(w.open(db.location(), "dbMENSAGEM", {"FONE", "MENSAGEM"}), QString());
            for (int i = 0; i < 20000; ++i)
                ASSERT_EQ(w.add({QString::number(i), QStringLiteral("texto %1").arg(i)}), QString());
            if (c.how == 0) {
                w.cancel();
                EXPECT_FALSE(w.commit().isEmpty()) << "a cancelled run cannot be committed afterwards";
            } else if (c.how == 1) {
                ASSERT_EQ(w.add({"longo", QString(919, QChar(u'x'))}), QString());
                const QString error = w.commit();
                EXPECT_FALSE(error.isEmpty());
                EXPECT_FALSE(w.connectionLost()) << error.toStdString();
            }
        }
        EXPECT_EQ(rows(), 0);
    }
}

TEST_F(PgCopy, AServerThatCannotBeReachedIsSaidWithHostAndPort) {
    StoreLocation nowhere = db.location();
    nowhere.port = 1; // nothing listens there
    PgCopyWriter w;
    const QString error = w.open(nowhere, "dbMENSAGEM", {"FONE"});
    EXPECT_TRUE(error.startsWith("Não foi possível conectar ao banco de dados 127.0.0.1:1: ")) << error.toStdString();
    EXPECT_TRUE(w.connectionLost());
    EXPECT_FALSE(w.add({"1"}).isEmpty());
}

} // namespace
