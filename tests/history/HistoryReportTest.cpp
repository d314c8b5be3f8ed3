#include <QFontInfo>
#include <QFontMetricsF>
#include <QProcess>
#include <QRawFont>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "HistoryFixture.h"
#include "MissingPeer.h"
#include "history/HistoryReport.h"
#include "history/HistoryReportCommand.h"
#include "history/HistorySearch.h"

using HistoryReport::Form;

namespace {

// The PDF's text as poppler reads it back, one string per page.
QStringList pdfPages(const QString& path) {
    QProcess p;
    p.start("pdftotext", {"-layout", "-enc", "UTF-8", path, "-"});
    EXPECT_TRUE(p.waitForFinished(60000));
    QStringList pages = QString::fromUtf8(p.readAllStandardOutput()).split(QChar('\f'));
    if (!pages.isEmpty() && pages.last().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

class HistoryReportPdf : public HistoryFixture {
protected:
    void SetUp() override {
        HistoryFixture::SetUp();
        if (QStandardPaths::findExecutable("pdftotext").isEmpty())
            VESTRAL_SKIP_MISSING_PEER("pdftotext (poppler-utils) is not installed");
        column("UPDATE dbCFG SET EMPRESA = 'Empresa Teste'");
        ASSERT_TRUE(ado()->dbCFG->refresh());
    }
    QStringList report(Form form) {
        const QString path = tmp.filePath(form == Form::Completo ? "completo.pdf" : "resumido.pdf");
        HistoryReport::Options o;
        o.form = form;
        o.empresa = ado()->dbCFG->text("EMPRESA");
        o.printedAt = QDateTime(QDate(2026, 12, 9), QTime(8, 30, 0));
        QString error;
        EXPECT_TRUE(HistoryReport::writePdf(path, ado()->database(), {}, o, &error)) << error.toStdString();
        return pdfPages(path);
    }
    QTemporaryDir tmp;
};

class HistoryReportRows : public OnBothStores<HistoryReportPdf> {};

TEST_P(HistoryReportRows, BothFormsShowTitleColumnsAndOutcome) {
    addHistory("2026-12-01 10:00:00", "5511911110000", "SMS", true, "Mensagem enviada");
    addHistory("2026-12-02 11:00:00", "5511922220000", "SMS", false, " ERRO :500 - Erro\rMensagem falhou");
    for (Form form : {Form::Completo, Form::Resumido}) {
        const QStringList pages = report(form);
        ASSERT_EQ(pages.size(), 1);
        const QString& t = pages[0];
        EXPECT_TRUE(t.contains("Empresa Teste"));
        EXPECT_TRUE(t.contains(HistoryReport::titleText(form)));
        EXPECT_TRUE(t.contains("Data da Impressão: 09/12/2026 08:30:00"));
        EXPECT_TRUE(t.contains("Total de Registros: 2"));
        EXPECT_TRUE(t.contains("Página:1"));
        EXPECT_TRUE(t.contains("01/12/2026 10:00:00"));
        EXPECT_EQ(t.count("SIM"), 1);
        EXPECT_EQ(t.count("NÃO"), 1);
        EXPECT_EQ(t.contains("Corpo"), form == Form::Completo);
        EXPECT_EQ(t.contains("Mensagem enviada"), form == Form::Completo);
        EXPECT_EQ(t.contains("Mensagem falhou"), form == Form::Completo);
    }
}

TEST_P(HistoryReportRows, HtmlBodyIsPrintedAsText) {
    addHistory("2026-12-01 10:00:00", "(Ana) ana@x.com", "E-Mail", true,
               "<html><body><p>Ol&aacute; <b>Ana</b></p></body></html>");
    const QString t = report(Form::Completo).join("");
    EXPECT_TRUE(t.contains("Olá Ana"));
    EXPECT_FALSE(t.contains("<b>"));
}

TEST_F(HistoryReportPdf, LongRecipientIsCutAtItsColumn) {
    const QString longName = "(" + QString(60, 'N') + ") " + "endereco.muito.longo@exemplo.com.br";
    addHistory("2026-12-01 10:00:00", longName, "E-Mail", false);
    for (Form form : {Form::Completo, Form::Resumido}) {
        const QString t = report(form).join("");
        EXPECT_TRUE(t.contains("(NNNN"));
        EXPECT_FALSE(t.contains("exemplo.com.br"));
        EXPECT_TRUE(t.contains("E-Mail")); // the next column is still there
    }
}

// Words of a PDF with their left and right edges and their top in millimetres from the printable area.
struct PdfWord {
    QString text;
    double left;
    double right;
    double top;
};

QList<PdfWord> pdfWords(const QString& path) {
    QProcess p;
    p.start("pdftotext", {"-bbox", "-enc", "UTF-8", path, "-"});
    EXPECT_TRUE(p.waitForFinished(60000));
    const QString html = QString::fromUtf8(p.readAllStandardOutput());
    static const QRegularExpression word(
        R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)"[^>]*>([^<]*)</word>)re");
    constexpr double kMmPerPoint = 25.4 / 72;
    // The printable area's corner as the PDF places it (whole points), not the margins as asked for.
    const QRect area = HistoryReport::pageLayout().paintRectPoints();
    const double kLeftMargin = area.left() * kMmPerPoint;
    const double kTopMargin = area.top() * kMmPerPoint;
    QList<PdfWord> out;
    for (auto it = word.globalMatch(html); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        out.append({m.captured(4), m.captured(1).toDouble() * kMmPerPoint - kLeftMargin,
                    m.captured(3).toDouble() * kMmPerPoint - kLeftMargin,
                    m.captured(2).toDouble() * kMmPerPoint - kTopMargin});
    }
    return out;
}

// A cell cut at its column still ends clear of the next column: the last glyph of a body, a delivery
// failure text or a recipient that fill their cell never touch the text beside them. Narrow glyphs ("l")
// fill a cell up to a fraction of a millimetre from its edge.
TEST_F(HistoryReportPdf, CutCellsEndClearOfTheNextColumn) {
    addHistory("2026-12-01 10:00:00", QString(200, u'l'), "SMS", true, "Olá " + QString(400, u'l'));
    column("UPDATE dbHISTORICO SET ENTREGUE = '2026-12-01 10:00:02', STATUS_ENTREGA = 'Falhou: " + QString(120, u'l') +
           "'");
    constexpr double kClear = 0.7;     // mm between a cut cell's last glyph and the next column
    constexpr double kFirstRow = 35.5; // mm: below the title and heading bands
    for (Form form : {Form::Completo, Form::Resumido}) {
        const QString path = tmp.filePath("celulas.pdf");
        HistoryReport::Options o;
        o.form = form;
        QString error;
        ASSERT_TRUE(HistoryReport::writePdf(path, ado()->database(), {}, o, &error)) << error.toStdString();
        const QList<PdfWord> words = pdfWords(path);
        ASSERT_FALSE(words.isEmpty());
        const QList<HistoryReport::Column>& cols = HistoryReport::columns(form);
        int cut = 0;
        for (qsizetype i = 0; i + 1 < cols.size(); ++i) {
            for (const PdfWord& w : words) {
                if (w.top < kFirstRow || w.left < cols[i].left - 0.1 || w.left >= cols[i + 1].left)
                    continue;
                cut += w.text.startsWith("llll");
                EXPECT_LE(w.right, cols[i + 1].left - kClear)
                    << cols[i].title.toStdString() << ": " << w.text.left(12).toStdString() << " ends at " << w.right;
            }
        }
        EXPECT_EQ(cut, form == Form::Completo ? 3 : 1); // recipient, body and failure text; the recipient alone
    }
}

TEST_F(HistoryReportPdf, HeadingOnlyOnTheFirstPage) {
    for (int i = 0; i < 150; ++i)
        addHistory(QStringLiteral("2026-12-01 10:%1:%2").arg(i / 60, 2, 10, QChar('0')).arg(i % 60, 2, 10, QChar('0')),
                   QString::number(5511900000000LL + i), "SMS", i % 2 == 0);
    for (Form form : {Form::Completo, Form::Resumido}) {
        const QStringList pages = report(form);
        ASSERT_EQ(pages.size(), 3); // 61 rows under the bands, then 70 a page
        EXPECT_TRUE(pages[0].contains("Página:1"));
        EXPECT_TRUE(pages[0].contains("Destinatário"));
        for (int p = 1; p < pages.size(); ++p) {
            EXPECT_FALSE(pages[p].contains("Página:"));
            EXPECT_FALSE(pages[p].contains("Destinatário"));
            EXPECT_FALSE(pages[p].contains("Total de Registros"));
        }
        EXPECT_TRUE(pages[2].contains("5511900000149"));
        EXPECT_EQ(pages.join("").count("SIM"), 75);
    }
}

TEST_P(HistoryReportRows, CommandLineWritesTheChosenReport) {
    addHistory("2026-11-30 23:59:59", "111", "SMS", true, "novembro");
    addHistory("2026-12-01 00:00:00", "222", "SMS", false, "dezembro");
    addHistory("2026-12-02 00:00:00", "(Ana) a@x.com", "E-Mail", false, "email");
    const QString path = tmp.filePath("cli.pdf");
    QString outText, errText;
    QTextStream out(&outText), err(&errText);
    HistoryReportCommand::Request request{path, Form::Completo, {}};
    request.filter.outcome = HistorySearch::Outcome::Failed;
    HistoryReportCommand::setPeriod(&request.filter, QDate(2026, 12, 1), QDate(2026, 12, 1));
    ASSERT_EQ(HistoryReportCommand::run(ado(), request, out, err), 0) << errText.toStdString();
    EXPECT_EQ(outText.trimmed(), "Total de Registros: 1");
    const QString t = pdfPages(path).join("");
    EXPECT_TRUE(t.contains("RELATÓRIO COMPLETO"));
    EXPECT_TRUE(t.contains("dezembro"));
    EXPECT_FALSE(t.contains("novembro"));
    EXPECT_FALSE(t.contains("a@x.com"));
}

// --from/--to cover whole days; an end not given is left open; neither leaves the period off.
TEST(HistoryReportCommandPeriod, WholeDaysAndOpenEnds) {
    HistorySearch::Filter f;
    HistoryReportCommand::setPeriod(&f, {}, {});
    EXPECT_FALSE(f.usePeriod);
    HistoryReportCommand::setPeriod(&f, {}, QDate(2026, 12, 31));
    ASSERT_TRUE(f.usePeriod);
    EXPECT_EQ(f.toDate, QDate(2026, 12, 31));
    EXPECT_EQ(f.toTime, QTime(23, 59, 59));
    EXPECT_EQ(f.fromTime, QTime(0, 0, 0));
    EXPECT_LT(f.fromDate, QDate(2000, 1, 1));
    f = {};
    HistoryReportCommand::setPeriod(&f, QDate(2026, 12, 1), {});
    EXPECT_EQ(f.fromDate, QDate(2026, 12, 1));
    EXPECT_GT(f.toDate, QDate(9000, 1, 1));
}

// The report prints with the fonts the package depends on, whatever else the machine offers under the
// names "Arial" and "Times New Roman" (Nimbus Sans, DejaVu Sans): the faces resolve to exactly those files.
TEST(HistoryReportFonts, CellsAndTitleUseTheLiberationFaces) {
    ASSERT_TRUE(HistoryReport::loadFonts());
    struct Case {
        QString family;
        bool bold;
        bool italic;
    };
    const Case cases[] = {
        {HistoryReport::kSans, false, false},
        {HistoryReport::kSans, true, true},
        {HistoryReport::kSerif, true, false},
    };
    for (const Case& c : cases) {
        QFont f(c.family, 10);
        f.setBold(c.bold);
        f.setItalic(c.italic);
        const QFontInfo info(f);
        EXPECT_EQ(info.family(), c.family) << c.family.toStdString();
        EXPECT_EQ(QRawFont::fromFont(f).familyName(), c.family) << c.family.toStdString();
        EXPECT_EQ(info.bold(), c.bold) << c.family.toStdString();
        EXPECT_EQ(info.italic(), c.italic) << c.family.toStdString();
    }
    EXPECT_EQ(QFontInfo(HistoryReport::sansFont(6)).family(), HistoryReport::kSans);
}

TEST(HistoryReportText, ClipAndDateHelpers) {
    const QFont f = HistoryReport::sansFont(10);
    const QFontMetricsF fm(f);
    const QString s = "abcdefghijklmnopqrstuvwxyz";
    const QString cut = HistoryReport::clipToWidth(s, fm, fm.horizontalAdvance("abcde") + 0.5);
    EXPECT_EQ(cut, "abcde");
    EXPECT_EQ(HistoryReport::clipToWidth(s, fm, 1e6), s);
    EXPECT_EQ(HistoryReport::clipToWidth(s, fm, 0), QString());
    EXPECT_EQ(HistoryReport::displayDateTime("2026-12-09 08:05:01"), "09/12/2026 08:05:01");
    EXPECT_EQ(HistoryReport::displayDateTime("texto"), "texto");
    EXPECT_EQ(HistoryReport::plainBody("linha 1\rlinha 2"), "linha 1 linha 2");
}

} // namespace

namespace {

TEST_F(HistoryReportPdf, EmptyResultStillPrintsTitleAndHeadingAndBadPathFails) {
    const QStringList pages = report(Form::Resumido);
    ASSERT_EQ(pages.size(), 1);
    EXPECT_TRUE(pages[0].contains("Total de Registros: 0"));
    EXPECT_TRUE(pages[0].contains("Página:1"));
    QString outText, errText;
    QTextStream out(&outText), err(&errText);
    EXPECT_EQ(HistoryReportCommand::run(ado(), {tmp.filePath("no/such/dir/x.pdf"), Form::Resumido, {}}, out, err), 1);
    EXPECT_FALSE(errText.isEmpty());
}

} // namespace

INSTANTIATE_TEST_SUITE_P(Store, HistoryReportRows, kBothStores, storeName);
