// The printed report at scale and on hostile ground: rows read a page at a time in the search's order,
// cells that must not lose what they print, progress and cancel, and a disk that fills up.
#include <QDir>
#include <QFile>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "HistoryFixture.h"
#include "MissingPeer.h"
#include "history/HistoryReport.h"
#include "history/HistoryReportCommand.h"
#include "history/HistoryReportReader.h"
#include "history/HistorySearch.h"

using HistoryReport::Form;

namespace {

QString pdfText(const QString& path) {
    QProcess p;
    p.start("pdftotext", {"-layout", "-enc", "UTF-8", path, "-"});
    EXPECT_TRUE(p.waitForFinished(120000));
    return QString::fromUtf8(p.readAllStandardOutput());
}

class HistoryReportStream : public HistoryFixture {
protected:
    // `count` rows through one statement: dated one second apart from `first`, every third one an e-mail.
    void addMany(int count, const QString& first = "2026-12-01 00:00:00") {
        QSqlQuery q(ado()->database());
        q.prepare("WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i + 1 < ?) "
                  "INSERT INTO dbHISTORICO (DATA, DESTINATARIO, MENSAGEM, TIPO, ENVIADO) "
                  "SELECT datetime(?, '+' || i || ' seconds'), '55119' || printf('%08d', i), 'texto ' || i, "
                  "CASE i % 3 WHEN 0 THEN 'E-Mail' ELSE 'SMS' END, i % 2 FROM n");
        q.addBindValue(count);
        q.addBindValue(first);
        ASSERT_TRUE(q.exec()) << q.lastError().text().toStdString();
    }
    QList<qint64> readAll(const HistorySearch::Filter& filter, int pageRows, int* pages = nullptr) {
        HistoryReport::Reader reader(ado()->database(), filter, false, pageRows);
        EXPECT_TRUE(reader.start()) << reader.error().toStdString();
        QList<qint64> ids;
        QList<HistoryReport::Row> page;
        int n = 0;
        while (reader.next(&page) && !page.isEmpty()) {
            EXPECT_LE(page.size(), pageRows);
            for (const auto& r : page)
                ids << r.id;
            ++n;
        }
        EXPECT_EQ(reader.error(), QString());
        if (pages)
            *pages = n;
        return ids;
    }
    int runCommand(const QString& file, QString* out, QString* err, Form form = Form::Resumido) {
        QTextStream o(out), e(err);
        return HistoryReportCommand::run(ado(), {file, form, {}}, o, e);
    }
    QTemporaryDir tmp;
};

} // namespace

// Pages of 3 rows over ties in DATA and a filter: the same rows in the same order as
// the page's search shows them, and a row stored while the report runs stays out of it.
class HistoryReportPages : public OnBothStores<HistoryReportStream> {};

TEST_P(HistoryReportPages, ReaderPagesKeepTheSearchOrder) {
    addHistory("2026-12-02 10:00:00", "a", "SMS", true);
    addHistory("2026-12-01 10:00:00", "b", "SMS", false);
    addHistory("2026-12-02 10:00:00", "c", "E-Mail", true); // same second as "a"
    addHistory("2026-12-02 10:00:00", "d", "SMS", true);
    addHistory("2026-12-01 09:00:00", "e", "SMS", true);
    addHistory("2026-12-03 00:00:00", "f", "SMS", false);
    addHistory("2026-12-03 00:00:01", "g", "SMS", true);
    const QStringList order = column("SELECT DESTINATARIO FROM dbHISTORICO ORDER BY DATA, ID_HISTORICO");
    const QStringList ids = column("SELECT ID_HISTORICO FROM dbHISTORICO ORDER BY DATA, ID_HISTORICO");
    struct Case {
        HistorySearch::Filter filter;
        int pageRows;
        QStringList expected;
    };
    HistorySearch::Filter sent;
    sent.outcome = HistorySearch::Outcome::Sent;
    HistorySearch::Filter dec2;
    dec2.usePeriod = true;
    dec2.fromDate = dec2.toDate = QDate(2026, 12, 2);
    dec2.fromTime = QTime(0, 0);
    dec2.toTime = QTime(23, 59, 59);
    const Case cases[] = {
        {{}, 3, order},
        {{}, 1, order},
        {{}, 100, order},
        {sent, 2, {"e", "a", "c", "d", "g"}},
        {dec2, 2, {"a", "c", "d"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pageRows);
        QStringList got;
        for (qint64 id : readAll(c.filter, c.pageRows))
            got << column(QStringLiteral("SELECT DESTINATARIO FROM dbHISTORICO WHERE ID_HISTORICO = %1").arg(id));
        EXPECT_EQ(got, c.expected);
    }
    // Rows stored after the count are not printed: the title's count and the rows agree.
    HistoryReport::Reader reader(ado()->database(), {}, false, 3);
    ASSERT_TRUE(reader.start());
    addHistory("2026-12-31 00:00:00", "late", "SMS", true);
    QList<HistoryReport::Row> page;
    int rows = 0;
    while (reader.next(&page) && !page.isEmpty())
        rows += int(page.size());
    EXPECT_EQ(rows, 7);
    EXPECT_EQ(reader.total(), 7);
    EXPECT_EQ(ids.size(), 7);
}

TEST(HistoryReportCells, WideIdsAndLongWordsKeepWhatTheyPrint) {
    const QFont f = HistoryReport::sansFont(6);
    const QFontMetricsF fm(f);
    const double dots = fm.fontDpi() / 25.4;
    for (Form form : {Form::Completo, Form::Resumido}) {
        const QList<HistoryReport::Column> plain = HistoryReport::fittedColumns(form, fm, dots, 42);
        EXPECT_EQ(plain[0].width, HistoryReport::columns(form)[0].width); // never narrower than designed
        const QList<HistoryReport::Column> wide = HistoryReport::fittedColumns(form, fm, dots, 1000000);
        EXPECT_GE(wide[0].width * dots, fm.horizontalAdvance("1000000"));
        const HistoryReport::Column& last = wide.last();
        EXPECT_LE(last.left + last.width, 194.0 + 1e-9); // still inside the printable width
        for (qsizetype i = 1; i < wide.size(); ++i)
            EXPECT_GE(wide[i].left, wide[i - 1].left + wide[i - 1].width - 1e-9) << i;
    }
    struct Case {
        QString text;
        int lines;
        QString firstStartsWith;
    };
    const QString word(400, u'X');
    const Case cases[] = {
        {"Olá " + word, 1, "Olá XX"}, // the word would wrap onto a line the cell does not have
        {word, 1, "XXX"},             // one word wider than the cell
        {"Olá " + word, 2, "Olá"},    // two lines: the long word is broken at the width on the second
        {"curto", 1, "curto"},
    };
    const double width = 50 * dots;
    for (const Case& c : cases) {
        const QStringList lines = HistoryReport::cellLines(c.text, fm, width, c.lines);
        ASSERT_FALSE(lines.isEmpty()) << c.text.left(10).toStdString();
        EXPECT_TRUE(lines[0].startsWith(c.firstStartsWith)) << lines[0].toStdString();
        EXPECT_LE(lines.size(), c.lines);
        for (const QString& l : lines)
            EXPECT_LE(fm.horizontalAdvance(l), width);
        if (c.lines == 2) {
            EXPECT_TRUE(lines.value(1).startsWith("XXXX")) << lines.value(1).toStdString();
        }
    }
}

TEST_F(HistoryReportStream, SevenDigitIdsAndLongWordsAppearInThePdf) {
    if (QStandardPaths::findExecutable("pdftotext").isEmpty())
        VESTRAL_SKIP_MISSING_PEER("pdftotext (poppler-utils) is not installed");
    QSqlQuery q(ado()->database());
    ASSERT_TRUE(q.exec("INSERT INTO dbHISTORICO (ID_HISTORICO, DATA, DESTINATARIO, MENSAGEM, TIPO, ENVIADO) "
                       "VALUES (1000000, '2026-12-01 10:00:00', '5511912345678', 'Olá " +
                       QString(300, u'W') + "', 'SMS', 1)"));
    // Text beyond the Latin table and control bytes take the painter's own text path: still printed.
    addHistory("2026-12-01 10:00:01", QString::fromUtf8("(Bo 李\x01) bo@exemplo.org"), "E-Mail", false);
    for (Form form : {Form::Completo, Form::Resumido}) {
        const QString path = tmp.filePath("ids.pdf");
        QString out, err;
        ASSERT_EQ(runCommand(path, &out, &err, form), 0) << err.toStdString();
        const QString text = pdfText(path);
        EXPECT_TRUE(text.contains("1000000 ")) << text.toStdString();
        EXPECT_TRUE(text.contains("01/12/2026 10:00:00"));
        EXPECT_TRUE(text.contains("bo@exemplo.org")) << text.toStdString();
        EXPECT_EQ(text.contains("Olá WWWWWWWWWW"), form == Form::Completo) << text.toStdString();
    }
}

// Over 100 pages: "Página 100" on the error stream, once; a cancel keeps the old file as it was.
TEST_F(HistoryReportStream, ProgressLinesAndCancelKeepTheOldFile) {
    addMany(61 + 70 * 100); // 101 pages in the summary form
    const QString path = tmp.filePath("grande.pdf");
    QString out, err;
    ASSERT_EQ(runCommand(path, &out, &err), 0) << err.toStdString();
    EXPECT_EQ(out.trimmed(), "Total de Registros: 7061");
    EXPECT_EQ(err, "Página 100\n");
    QFile pdf(path);
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(pdf.read(5) == "%PDF-");
    pdf.close();

    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("OLD");
    old.close();
    HistoryReport::Options o;
    o.progress = [](int pages, int) { return pages < 3; };
    QString error;
    EXPECT_FALSE(HistoryReport::writePdf(path, ado()->database(), {}, o, &error));
    EXPECT_TRUE(error.contains("cancelado")) << error.toStdString();
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), "OLD");
    EXPECT_EQ(QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"grande.pdf"}); // no temporary left
}

// A disk that fills up while the report is written: the failure is said, the exit code is 1, the old
// file stays whole and no temporary is left. A tiny tmpfs when this process may mount one.
TEST_F(HistoryReportStream, FullDiskKeepsTheOldFileAndFails) {
    const QString mountPoint = tmp.filePath("cheio");
    ASSERT_TRUE(QDir().mkpath(mountPoint));
    if (QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=64k", "tmpfs", mountPoint}) != 0)
        GTEST_SKIP() << "this process cannot mount a tmpfs";
    struct Unmount {
        QString path;
        ~Unmount() { QProcess::execute("umount", {path}); }
    } unmount{mountPoint};
    addMany(3000); // about 45 pages: far more than 64 kB
    const QString path = mountPoint + "/relatorio.pdf";
    QFile old(path);
    ASSERT_TRUE(old.open(QIODevice::WriteOnly));
    old.write("OLD");
    old.close();
    QString out, err;
    EXPECT_EQ(runCommand(path, &out, &err), 1);
    EXPECT_TRUE(err.contains("Não foi possível gravar o arquivo \"" + path + "\"")) << err.toStdString();
    EXPECT_TRUE(err.contains("No space left on device")) << err.toStdString();
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), "OLD");
    EXPECT_EQ(QDir(mountPoint).entryList(QDir::Files | QDir::Hidden), QStringList{"relatorio.pdf"});
}

// A folder that is not there, and a target that is a folder: said, and nothing is written.
TEST_F(HistoryReportStream, UnwritableTargetsFail) {
    for (const QString& path : {tmp.filePath("nao/existe/x.pdf"), tmp.path()}) {
        QString out, err;
        EXPECT_EQ(runCommand(path, &out, &err), 1) << path.toStdString();
        EXPECT_TRUE(err.startsWith("Não foi possível gravar o arquivo \"" + path + "\"")) << err.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(Store, HistoryReportPages, kBothStores, storeName);
