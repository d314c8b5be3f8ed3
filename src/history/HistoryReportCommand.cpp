#include "history/HistoryReportCommand.h"

#include "history/HistoryReportReader.h"
#include "store/Dataset.h"
#include "store/TADO.h"

namespace HistoryReportCommand {

void setPeriod(HistorySearch::Filter* filter, const QDate& from, const QDate& to) {
    if (!from.isValid() && !to.isValid())
        return;
    filter->usePeriod = true;
    filter->fromDate = from.isValid() ? from : QDate(1900, 1, 1);
    filter->toDate = to.isValid() ? to : QDate(9999, 12, 31);
    filter->fromTime = QTime(0, 0, 0);
    filter->toTime = QTime(23, 59, 59);
}

int run(TADO* ado, const Request& r, QTextStream& out, QTextStream& err) {
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
