// The file of results a station could not store while the database was away: what a kill, a full disk or a
// damaged line leaves in it, and applying it exactly once.
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "FileLimits.h"
#include "sms/ResultJournal.h"

namespace {

ResultJournal::Entry entry(qint64 id, const QString& text = QStringLiteral("Olá")) {
    ResultJournal::Entry e;
    e.outboxId = id;
    e.token = id / 2 + 1; // ids near 2^62 too: no overflow
    e.slot = int(id % 64) + 1;
    e.station = QStringLiteral("balcão");
    e.destinatario = QStringLiteral("5511%1").arg(id, 8, 10, QChar('0'));
    e.mensagem = text;
    e.tipo = QStringLiteral("SMS");
    e.enviado = true;
    e.imsi = QStringLiteral("724051234567890");
    e.references = {12, 13};
    e.when = QDateTime(QDate(2026, 12, 10), QTime(18, 59, 1, 250));
    return e;
}

class ResultJournalTest : public ::testing::Test {
protected:
    QString path() const { return dir.filePath(ResultJournal::kFileName); }
    void appendRaw(const QByteArray& bytes) {
        QFile f(path());
        ASSERT_TRUE(f.open(QIODevice::Append));
        f.write(bytes);
    }
    QByteArray contents() const {
        QFile f(path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QTemporaryDir dir;
};

// Texts a modem row may carry come back exactly, one entry per line whatever they hold.
TEST_F(ResultJournalTest, HostileTextsComeBackExactlyOnePerLine) {
    const QString texts[] = {QStringLiteral("linha 1\nlinha 2\r\nfim"),
                             QString(QChar(0)) + QStringLiteral("nul e \x1a ctrl-z e \x1b esc"),
                             QStringLiteral("aspas \" e \\ barra e {\"id\":\"9\"}"),
                             QStringLiteral("emoji 😀 e 中文"),
                             QString(918, QChar(u'ç')),
                             QString()};
    ResultJournal j(path());
    QList<ResultJournal::Entry> written;
    qint64 id = (qint64(1) << 62) - 10;
    for (const QString& t : texts) {
        written << entry(++id, t);
        QString error;
        ASSERT_TRUE(j.append(written.last(), &error)) << error.toStdString();
    }
    EXPECT_EQ(contents().count('\n'), qsizetype(std::size(texts)));
    QStringList warnings;
    EXPECT_EQ(j.read(&warnings), written);
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join('|').toStdString();
}

// Killed in the middle of a line: the line was never acknowledged and is dropped, said once; the entries before it
// are applied and the file goes.
TEST_F(ResultJournalTest, ATornLastLineIsDroppedAndTheWholeOnesAreApplied) {
    ResultJournal j(path());
    QString error;
    ASSERT_TRUE(j.append(entry(1), &error));
    ASSERT_TRUE(j.append(entry(2), &error));
    appendRaw("{\"id\":\"3\",\"ficha\":\"30\",\"destin");
    QStringList warnings;
    EXPECT_EQ(j.read(&warnings).size(), 2);
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_NE(warnings.first().indexOf("incompleta"), -1);
    QList<qint64> stored;
    EXPECT_EQ(j.apply(
                  [&](const ResultJournal::Entry& e, QString*) {
                      stored << e.outboxId;
                      return ResultJournal::Applied::Stored;
                  },
                  &error),
              2);
    EXPECT_EQ(stored, (QList<qint64>{1, 2}));
    EXPECT_TRUE(error.isEmpty());
    EXPECT_FALSE(QFile::exists(path()));
    EXPECT_TRUE(j.isEmpty());
}

// Lines that do not read are never applied half-read: they are set aside for a person to look at.
TEST_F(ResultJournalTest, UnreadableLinesAreSetAsideNotApplied) {
    ResultJournal j(path());
    QString error;
    ASSERT_TRUE(j.append(entry(1), &error));
    appendRaw("lixo \xff\xfe\n");
    appendRaw("{\"id\":\"abc\",\"ficha\":\"1\",\"destinatario\":\"1\",\"mensagem\":\"x\",\"enviado\":true}\n");
    appendRaw("{\"id\":\"5\",\"ficha\":\"1\",\"mensagem\":\"sem destinatario\",\"enviado\":true}\n");
    appendRaw("[1,2,3]\n");
    ASSERT_TRUE(j.append(entry(2), &error));
    QList<qint64> stored;
    QStringList warnings;
    EXPECT_EQ(j.apply(
                  [&](const ResultJournal::Entry& e, QString*) {
                      stored << e.outboxId;
                      return ResultJournal::Applied::Stored;
                  },
                  &error, &warnings),
              2);
    EXPECT_EQ(stored, (QList<qint64>{1, 2}));
    EXPECT_FALSE(QFile::exists(path()));
    QFile aside(path() + ".ruins");
    ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
    EXPECT_EQ(aside.readAll().count('\n'), 4);
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_NE(warnings.first().indexOf("4 linha(s)"), -1) << warnings.first().toStdString();
}

// The database refuses an entry (gone again): it and those after it stay, in order, for the next try; entries
// already stored are not stored again, and an entry found stored counts as done.
TEST_F(ResultJournalTest, ApplyStopsAtARefusalAndKeepsTheRestInOrder) {
    ResultJournal j(path());
    QString error;
    for (qint64 id : {1, 2, 3, 4})
        ASSERT_TRUE(j.append(entry(id), &error));
    QList<qint64> calls;
    auto store = [&](qint64 failAt) {
        return [&calls, failAt](const ResultJournal::Entry& e, QString* why) {
            calls << e.outboxId;
            if (e.outboxId == failAt) {
                *why = QStringLiteral("servidor fora");
                return ResultJournal::Applied::Failed;
            }
            return e.outboxId == 1 ? ResultJournal::Applied::AlreadyStored : ResultJournal::Applied::Stored;
        };
    };
    EXPECT_EQ(j.apply(store(3), &error), 2);
    EXPECT_EQ(error, "servidor fora");
    QList<qint64> left;
    for (const auto& e : j.read())
        left << e.outboxId;
    EXPECT_EQ(left, (QList<qint64>{3, 4}));
    error.clear();
    EXPECT_EQ(j.apply(store(0), &error), 2);
    EXPECT_TRUE(error.isEmpty());
    EXPECT_EQ(calls, (QList<qint64>{1, 2, 3, 3, 4}));
    EXPECT_TRUE(j.isEmpty());
    EXPECT_EQ(j.apply(store(0), &error), 0); // nothing left: nothing applied twice
}

// A disk that fills in the middle of a line: the append says so, and the part written is cut off so that the
// entries before it and after it still read.
TEST_F(ResultJournalTest, AFullDiskFailsTheAppendAndLeavesTheFileReadable) {
    ResultJournal j(path());
    QString error;
    ASSERT_TRUE(j.append(entry(1), &error));
    const qint64 size = contents().size();
    {
        TestFiles::FileSizeLimit limit(rlim_t(size + 40));
        EXPECT_FALSE(j.append(entry(2, QString(500, QChar('x'))), &error));
    }
    EXPECT_NE(error.indexOf(path()), -1) << error.toStdString();
    EXPECT_EQ(contents().size(), size);
    ASSERT_TRUE(j.append(entry(3), &error));
    QStringList warnings;
    QList<qint64> ids;
    for (const auto& e : j.read(&warnings))
        ids << e.outboxId;
    EXPECT_EQ(ids, (QList<qint64>{1, 3}));
    EXPECT_TRUE(warnings.isEmpty()) << warnings.join('|').toStdString();
}

// A folder that is gone (a data folder on a disk unplugged): the append fails with the path and the reason.
TEST_F(ResultJournalTest, AnUnwritablePlaceFailsTheAppendWithThePath) {
    ResultJournal j(dir.filePath("nao-existe/") + ResultJournal::kFileName);
    QString error;
    EXPECT_FALSE(j.append(entry(1), &error));
    EXPECT_TRUE(error.startsWith("Não foi possível abrir " + j.path() + ": ")) << error.toStdString();
    EXPECT_TRUE(j.isEmpty());
    EXPECT_TRUE(j.read().isEmpty());
}

} // namespace
