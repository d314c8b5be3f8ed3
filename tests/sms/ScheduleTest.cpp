// The scheduled send's labels and its tick at the configured second.
#include "../common/TempDataDir.h"
#include "sms/ScheduledSend.h"

#include <gtest/gtest.h>

#include <QSqlQuery>

TEST(ScheduledSend, Labels) {
    struct Case {
        QTime now;
        const char* difference;
        const char* countdown;
    };
    const QTime horario(8, 0, 0);
    for (const Case& c : {Case{QTime(7, 58, 30), "00:01:30", "Falta 00h 01m 30s para o envio!"},
                          Case{QTime(8, 0, 0), "00:00:00", "Falta 00h 00m 00s para o envio!"},
                          Case{QTime(9, 0, 0), "01:00:00", "Falta 01h 00m 00s para o envio!"},
                          Case{QTime(7, 58, 30, 700), "00:01:30", "Falta 00h 01m 30s para o envio!"}}) {
        const ScheduledSend::Labels l = ScheduledSend::labels(horario, c.now);
        EXPECT_EQ(l.difference, c.difference) << c.now.toString().toStdString();
        EXPECT_EQ(l.countdown, c.countdown) << c.now.toString().toStdString();
    }
    EXPECT_TRUE(ScheduledSend::due(horario, QTime(8, 0, 0, 999)));
    EXPECT_FALSE(ScheduledSend::due(horario, QTime(8, 0, 1)));
    EXPECT_EQ(ScheduledSend::timeOf(QStringLiteral("1899-12-30 08:00:00")), horario);
    EXPECT_EQ(ScheduledSend::timeOf(QStringLiteral("08:00")), horario);
    EXPECT_FALSE(ScheduledSend::timeOf(QString()).isValid());
}

class ScheduleOnStore : public StoreParam {};

TEST_P(ScheduleOnStore, SendsAtTheConfiguredSecondOnly) {
    TempDataDir data;
    ASSERT_TRUE(data.start(GetParam()).ok);
    QSqlQuery q(data.ado->database());
    ASSERT_TRUE(q.exec("UPDATE dbCFG SET HORARIO = '08:00:00', AUTO = 1"));
    ScheduledSend schedule(data.ado.get());
    QTime now;
    schedule.setClock([&] { return QDateTime(QDate(2026, 12, 9), now); });
    int sends = 0;
    int warnings = 0;
    QString countdown;
    QObject::connect(&schedule, &ScheduledSend::sendDue, [&] { ++sends; });
    QObject::connect(&schedule, &ScheduledSend::emptyOutbox, [&] { ++warnings; });
    QObject::connect(&schedule, &ScheduledSend::labelsChanged,
                     [&](const QString&, const QString& c) { countdown = c; });

    now = QTime(8, 0, 0);
    EXPECT_EQ(schedule.tAUTOTimer(), ScheduledSend::Tick::EmptyOutbox);
    EXPECT_EQ(warnings, 1);
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(q.exec("INSERT INTO dbMENSAGEM (FONE, MENSAGEM, PORTA) VALUES ('5511900000000', 'x', 1)"));
    now = QTime(7, 58, 30);
    EXPECT_EQ(schedule.tAUTOTimer(), ScheduledSend::Tick::Waiting);
    EXPECT_EQ(countdown, "Falta 00h 01m 30s para o envio!");
    now = QTime(8, 0, 0);
    EXPECT_EQ(schedule.tAUTOTimer(), ScheduledSend::Tick::Started);
    now = QTime(8, 0, 1);
    EXPECT_EQ(schedule.tAUTOTimer(), ScheduledSend::Tick::Waiting);
    EXPECT_EQ(sends, 1);
}

// Settings or an outbox that cannot be read is said once in the send log and starts nothing: a
// missing table is neither "no time set" nor an empty outbox.
TEST(ScheduledSend, UnreadableStateStartsNothing) {
    struct Case {
        const char* name;
        const char* breakIt;
        const char* line;
    };
    for (const Case& c :
         {Case{"settings", "ALTER TABLE dbCFG RENAME TO dbCFG_x", "FALHA AO LER O HORÁRIO!"},
          Case{"outbox", "ALTER TABLE dbMENSAGEM RENAME TO dbMENSAGEM_x", "FALHA AO LER A CAIXA DE SAÍDA!"}}) {
        TempDataDir data;
        ASSERT_TRUE(data.start().ok);
        QSqlQuery q(data.ado->database());
        ASSERT_TRUE(q.exec("UPDATE dbCFG SET HORARIO = '08:00:00', AUTO = 1"));
        ASSERT_TRUE(q.exec(c.breakIt)) << c.name;
        ScheduledSend schedule(data.ado.get());
        schedule.setClock([] { return QDateTime(QDate(2026, 12, 9), QTime(8, 0, 0)); });
        int starts = 0;
        QStringList lines;
        QObject::connect(&schedule, &ScheduledSend::sendDue, [&] { ++starts; });
        QObject::connect(&schedule, &ScheduledSend::emptyOutbox, [&] { ++starts; });
        QObject::connect(&schedule, &ScheduledSend::readFailed, [&](const QString& l) { lines << l; });
        EXPECT_EQ(schedule.tAUTOTimer(), ScheduledSend::Tick::ReadFailed) << c.name;
        EXPECT_EQ(schedule.tAUTOTimer(), ScheduledSend::Tick::ReadFailed) << c.name;
        EXPECT_EQ(starts, 0) << c.name;
        ASSERT_EQ(lines.size(), 1) << c.name;
        EXPECT_EQ(lines[0].section(QLatin1Char('!'), 0, 0) + QLatin1Char('!'),
                  QStringLiteral("09/12/2026 08:00:00 ENVIO AUTOMÁTICO: ") + QString::fromUtf8(c.line))
            << c.name;
    }
}

INSTANTIATE_TEST_SUITE_P(Store, ScheduleOnStore, kBothStores, storeName);
