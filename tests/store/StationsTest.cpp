#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <gtest/gtest.h>

#include "TempDataDir.h"
#include "store/Station.h"
#include "store/StationList.h"
#include "store/StationRegistry.h"

namespace {

QString text(QSqlDatabase db, const QString& sql, const QVariantList& binds = {}) {
    QSqlQuery q(db);
    q.prepare(sql);
    for (const QVariant& v : binds)
        q.addBindValue(v);
    if (!q.exec() || !q.next())
        return QStringLiteral("<%1>").arg(q.lastError().text());
    return q.value(0).toString();
}

void exec(QSqlDatabase db, const QString& sql, const QVariantList& binds = {}) {
    QSqlQuery q(db);
    q.prepare(sql);
    for (const QVariant& v : binds)
        q.addBindValue(v);
    ASSERT_TRUE(q.exec()) << q.lastError().text().toStdString() << " : " << sql.toStdString();
}

// Far above the work waited for: the heartbeat thread beats every 50 ms here.
bool waitFor(const std::function<bool()>& condition) {
    QDeadlineTimer deadline(60000);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
    return true;
}

TEST(StationLine, FiguresSilenceAndHostileTexts) {
    struct Case {
        const char* what;
        StationList::Row row;
        QString expected;
    };
    StationList::Row plain{"balcao", "maq1", "02.00.00.1", 4242, 3, 2, 1, 7, {}};
    StationList::Row silent = plain;
    silent.silentSeconds = 31;
    StationList::Row never = plain;
    never.silentSeconds = -1;
    never.host.clear();
    StationList::Row hostile = plain;
    hostile.name = QStringLiteral("%1 caixa\t'x'");
    hostile.host = QStringLiteral("h%2\x1b[31m");
    hostile.error = QStringLiteral("ENTRADA 3: +CMS ERROR: 500\r\nfalha\x07");
    const Case cases[] = {
        {"a station giving signs of life", plain,
         "balcao  maq1  v02.00.00.1  PID 4242  batida há 3 s  entradas prontas 2  em envio 1  enviadas na última hora "
         "7"},
        {"thirty seconds is still alive",
         [&] {
             StationList::Row r = plain;
             r.silentSeconds = 30;
             return r;
         }(),
         "balcao  maq1  v02.00.00.1  PID 4242  batida há 30 s  entradas prontas 2  em envio 1  enviadas na última hora "
         "7"},
        {"silent past the limit", silent,
         "balcao  maq1  v02.00.00.1  PID 4242  batida há 31 s  entradas prontas 2  em envio 1  enviadas na última hora "
         "7 "
         "(SEM SINAL)"},
        {"never beat", never,
         "balcao  -  v02.00.00.1  PID 4242  batida há - s  entradas prontas 2  em envio 1  enviadas na última hora 7 "
         "(SEM SINAL)"},
        {"control characters and placeholders from the store", hostile,
         "%1 caixa 'x'  h%2 [31m  v02.00.00.1  PID 4242  batida há 3 s  entradas prontas 2  em envio 1  enviadas na "
         "última hora 7\n  ERRO: ENTRADA 3: +CMS ERROR: 500  falha"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(StationList::line(c.row), c.expected) << c.what;
}

class Stations : public StoreParam {
protected:
    void TearDown() override {
        StationRegistry::recordError(QString());
        Station::setCurrent(QString());
    }
};

// The registry writes the station's row and beats; its error reaches the row; a server that goes away between
// beats costs beats, not the program, and the beat comes back with the server. The list reads each station's own
// figures.
TEST_P(Stations, TheRowBeatsThroughAServerAwayAndTheListCountsEachStationsWork) {
    const bool shared = GetParam() == StoreLocation::Kind::Postgres;
    Station::setCurrent(QStringLiteral("balcão 'a'"));
    TempDataDir d;
    VESTRAL_START_STORE(d, GetParam());
    QSqlDatabase db = d.ado->database();
    const StoreLocation where = shared ? d.pg->location() : StoreLocation{};
    StationRegistry registry(where, d.path(), QStringLiteral("02.01.00.7"), 50);
    registry.start();
    ASSERT_TRUE(waitFor([&] { return registry.beats() >= 2; }));
    EXPECT_EQ(text(db, "SELECT VERSAO FROM dbESTACAO WHERE NOME = ?", {Station::current()}), "02.01.00.7");
    EXPECT_EQ(text(db, "SELECT PID FROM dbESTACAO WHERE NOME = ?", {Station::current()}).toLongLong(),
              QCoreApplication::applicationPid());
    StationRegistry::recordError(QStringLiteral("ENTRADA 2: sem resposta"));
    ASSERT_TRUE(waitFor([&] {
        return text(db, "SELECT ERRO FROM dbESTACAO WHERE NOME = ?", {Station::current()}) == "ENTRADA 2: sem resposta";
    }));
    if (shared) {
        QString why;
        ASSERT_TRUE(d.pg->server->stop(&why)) << why.toStdString();
        const int before = registry.beats();
        QThread::msleep(300); // beats fail meanwhile
        EXPECT_EQ(registry.beats(), before);
        ASSERT_TRUE(d.pg->server->start(&why)) << why.toStdString();
        d.ado->releaseThreadConnection();
        db = d.ado->database();
    }
    exec(db, "UPDATE dbESTACAO SET BATIDA = '2001-01-01 00:00:00'");
    ASSERT_TRUE(waitFor([&] {
        return text(db, "SELECT BATIDA FROM dbESTACAO WHERE NOME = ?", {Station::current()}) != "2001-01-01 00:00:00";
    }));
    registry.stop();

    // Another station's row, long silent, and work of both.
    exec(db,
         "INSERT INTO dbESTACAO (NOME, HOST, VERSAO, PID, INICIO, BATIDA) VALUES ('fundos', 'maq2', '02.01.00.7', 9, "
         "'2001-01-01 00:00:00', '2001-01-01 00:00:00')");
    exec(db, "INSERT INTO dbPORTA_ATIVA (ENTRADA, QTD, ESTACAO) VALUES (1, 5, ?), (2, 5, ?), (1, 5, 'fundos')",
         {Station::current(), Station::current()});
    exec(db,
         "INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA, ENVIANDO, ESTACAO) VALUES ('1', 'x', 1, '2026-01-01 "
         "00:00:00', ?), ('2', 'y', 1, NULL, ?), ('3', 'z', 1, '2026-01-01 00:00:00', 'fundos')",
         {Station::current(), Station::current()});
    exec(db,
         "INSERT INTO dbHISTORICO (DESTINATARIO, TIPO, ENVIADO, ESTACAO) VALUES ('1', 'SMS', 1, ?), "
         "('2', 'SMS', 0, ?), ('3', 'SMS', 1, 'fundos')",
         {Station::current(), Station::current()});
    exec(db,
         "INSERT INTO dbHISTORICO (DESTINATARIO, TIPO, ENVIADO, ESTACAO, DATA) VALUES ('4', 'SMS', 1, ?, "
         "'2001-01-01 00:00:00')",
         {Station::current()});
    QList<StationList::Row> rows;
    QString error;
    ASSERT_TRUE(StationList::read(db, &rows, &error)) << error.toStdString();
    ASSERT_EQ(rows.size(), 2);
    const StationList::Row& mine = rows[0];
    EXPECT_EQ(mine.name, Station::current());
    EXPECT_FALSE(mine.silent()) << mine.silentSeconds;
    EXPECT_EQ(mine.error, "ENTRADA 2: sem resposta");
    // On the file every row is the one station's.
    EXPECT_EQ(mine.ready, shared ? 2 : 3);
    EXPECT_EQ(mine.sending, shared ? 1 : 2);
    EXPECT_EQ(mine.sentLastHour, shared ? 1 : 2);
    EXPECT_EQ(rows[1].name, "fundos");
    EXPECT_TRUE(rows[1].silent());
    EXPECT_GT(rows[1].silentSeconds, 30);
    if (shared) {
        EXPECT_EQ(rows[1].ready, 1);
        EXPECT_EQ(rows[1].sending, 1);
        EXPECT_EQ(rows[1].sentLastHour, 1);
    }
}

// The last error is shown to other operators: one line, no control characters, bounded; what the registry is
// handed is what the row holds, even when it comes just before the program ends or while the server is away.
TEST_P(Stations, TheLastErrorIsStoredCleanedCutAndWrittenWhenTheServerReturns) {
    const bool shared = GetParam() == StoreLocation::Kind::Postgres;
    Station::setCurrent(QStringLiteral("erros"));
    TempDataDir d;
    VESTRAL_START_STORE(d, GetParam());
    QSqlDatabase db = d.ado->database();
    const StoreLocation where = shared ? d.pg->location() : StoreLocation{};
    const QString huge = QStringLiteral("ENTRADA 1 ") + QString(10000, QLatin1Char('x'));
    const QString emoji = QString(StationRegistry::kErrorChars - 1, QLatin1Char('y')) + QString::fromUtf8("😀z");
    struct Case {
        const char* what;
        QString given;
        QString stored;
    };
    const std::vector<Case> cases{
        {"control bytes and line breaks",
         QString::fromUtf8("ENTRADA 2\r\n+CMS ERROR: 500\x1b[31m\x07\t fim\x7f\u0085\u2028."),
         QStringLiteral("ENTRADA 2 +CMS ERROR: 500 [31m fim .")},
        {"10,000 characters", huge, huge.left(StationRegistry::kErrorChars)},
        {"10,000 control bytes", QString(10000, QChar(0x01)), QString()},
        {"a pair not cut in two", emoji, emoji.left(StationRegistry::kErrorChars - 1)},
        {"the database away", QString::fromUtf8("  Banco de dados indisponível: servidor fora  "),
         QString::fromUtf8("Banco de dados indisponível: servidor fora")},
    };
    for (const Case& c : cases)
        EXPECT_EQ(StationRegistry::cleanError(c.given).toStdString(), c.stored.toStdString()) << c.what;

    const auto stored = [&] {
        return text(db, "SELECT COALESCE(ERRO, '') FROM dbESTACAO WHERE NOME = ?", {Station::current()});
    };
    {
        // A slow beat: each error is written by the registry's stop, after the one beat at its start.
        StationRegistry registry(where, d.path(), QStringLiteral("02.01.00.7"), 3600000);
        registry.start();
        ASSERT_TRUE(waitFor([&] { return registry.beats() >= 1; }));
        StationRegistry::recordError(cases[0].given);
        registry.stop();
        EXPECT_EQ(stored().toStdString(), cases[0].stored.toStdString());
    }
    StationRegistry registry(where, d.path(), QStringLiteral("02.01.00.7"), 50);
    registry.start();
    for (const Case& c : cases) {
        StationRegistry::recordError(c.given);
        EXPECT_TRUE(waitFor([&] { return stored() == c.stored; })) << c.what << ": " << stored().toStdString();
    }
    if (shared) {
        QString why;
        ASSERT_TRUE(d.pg->server->stop(&why)) << why.toStdString();
        StationRegistry::recordError(QStringLiteral("ENTRADA 1 Banco de dados indisponível: durante a queda"));
        QThread::msleep(300); // beats fail meanwhile; the error waits
        ASSERT_TRUE(d.pg->server->start(&why)) << why.toStdString();
        d.ado->releaseThreadConnection();
        db = d.ado->database();
        EXPECT_TRUE(waitFor([&] { return stored() == "ENTRADA 1 Banco de dados indisponível: durante a queda"; }))
            << stored().toStdString();
        // The program ends while the server is away: its error waits in the data folder for the next one.
        ASSERT_TRUE(d.pg->server->stop(&why)) << why.toStdString();
        StationRegistry::recordError(QStringLiteral("ENTRADA 2 Banco de dados indisponível: ao sair"));
        registry.stop();
        StationRegistry::recordError(QString());
        ASSERT_TRUE(d.pg->server->start(&why)) << why.toStdString();
        d.ado->releaseThreadConnection();
        db = d.ado->database();
        const QString pending = d.path() + QLatin1Char('/') + QLatin1String(StationRegistry::kPendingErrorFile);
        EXPECT_TRUE(QFileInfo::exists(pending));
        StationRegistry next(where, d.path(), QStringLiteral("02.01.00.7"), 50);
        next.start();
        EXPECT_TRUE(waitFor([&] { return stored() == "ENTRADA 2 Banco de dados indisponível: ao sair"; }))
            << stored().toStdString();
        next.stop();
        EXPECT_FALSE(QFileInfo::exists(pending));
    }
    registry.stop();
}

INSTANTIATE_TEST_SUITE_P(Store, Stations, kBothStores, storeName);

} // namespace
