#include "history/HistoryReportCommand.h"

#include "history/HistoryReportReader.h"
#include "store/Dataset.h"
#include "store/TADO.h"

namespace HistoryReportCommand {
namespace {

bool readDate(const QString& text, QDate* date) {
    *date = QDate::fromString(text, "dd/MM/yyyy");
    return date->isValid();
}

// Applies one option with its value; returns an error text, empty when it reads.
QString option(Request& r, const QString& name, const QString& value) {
    using HistorySearch::Channel;
    using HistorySearch::Outcome;
    if (name == "--from" || name == "--to") {
        QDate d;
        if (!readDate(value, &d))
            return name + ": data inválida \"" + value + "\" (use DD/MM/AAAA)";
        r.filter.usePeriod = true;
        (name == "--from" ? r.filter.fromDate : r.filter.toDate) = d;
    } else if (name == "--outcome") {
        const QStringList v{"all", "sent", "failed"};
        if (!v.contains(value))
            return "--outcome: use all, sent ou failed";
        r.filter.outcome = Outcome(v.indexOf(value));
    } else if (name == "--channel") {
        const QStringList v{"all", "sms", "email"};
        if (!v.contains(value))
            return "--channel: use all, sms ou email";
        r.filter.channel = Channel(v.indexOf(value));
    }
    return {};
}

} // namespace

QString usage() {
    return "Uso: vestral-sms --report ARQUIVO.pdf [--full] [--from DD/MM/AAAA] [--to DD/MM/AAAA] "
           "[--outcome all|sent|failed] [--channel all|sms|email]";
}

Request parse(const QStringList& arguments) {
    Request r;
    const qsizetype at = arguments.indexOf("--report");
    for (qsizetype i = at + 1; at >= 0 && i < arguments.size() && r.error.isEmpty(); ++i) {
        const QString& a = arguments[i];
        if (a == "--full") {
            r.form = HistoryReport::Form::Completo;
        } else if (a.startsWith("--data-dir=")) {
            continue;
        } else if (a.startsWith("--")) {
            static const QStringList known{"--from", "--to", "--outcome", "--channel", "--data-dir"};
            if (!known.contains(a))
                r.error = "opção desconhecida: " + a;
            else if (i + 1 >= arguments.size())
                r.error = a + " precisa de um valor";
            else
                r.error = option(r, a, arguments[++i]);
        } else if (r.file.isEmpty()) {
            r.file = a;
        } else {
            r.error = "argumento a mais: " + a;
        }
    }
    if (r.error.isEmpty() && r.file.isEmpty())
        r.error = "--report precisa do nome do arquivo PDF";
    if (r.filter.usePeriod) {
        if (!r.filter.fromDate.isValid())
            r.filter.fromDate = QDate(1900, 1, 1);
        if (!r.filter.toDate.isValid())
            r.filter.toDate = QDate(9999, 12, 31);
        r.filter.fromTime = QTime(0, 0, 0);
        r.filter.toTime = QTime(23, 59, 59);
    }
    return r;
}

int run(TADO* ado, const QStringList& arguments, QTextStream& out, QTextStream& err) {
    const Request r = parse(arguments);
    if (!r.error.isEmpty()) {
        err << r.error << Qt::endl << usage() << Qt::endl;
        return 2;
    }
    // The rows are read a page at a time while the pages are drawn; only the count is read first.
    HistoryReport::Reader counter(ado->database(), r.filter, false);
    if (!counter.start()) {
        err << counter.error() << Qt::endl;
        return 1;
    }
    out << HistorySearch::totalText(counter.total()) << Qt::endl;
    HistoryReport::Options o;
    o.form = r.form;
    o.empresa = ado->dbCFG->text("EMPRESA");
    o.progress = [&err](int pages, int) {
        if (pages % kPagesPerProgressLine == 0)
            err << QStringLiteral("Página %1").arg(pages) << Qt::endl;
        return true;
    };
    QString error;
    if (!HistoryReport::writePdf(r.file, ado->database(), r.filter, o, &error)) {
        err << error << Qt::endl;
        return 1;
    }
    return 0;
}

} // namespace HistoryReportCommand
