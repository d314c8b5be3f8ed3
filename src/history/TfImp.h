#pragma once

#include <QWidget>

#include "history/HistoryReport.h"
#include "history/HistorySearch.h"

class TADO;
class QPrintPreviewDialog;
class QPrinter;

// The hidden report window: holds the two history reports ("Completo", "Resumido") over the
// history search and shows them in a print preview, from which the operator prints, sets up the
// printer or saves a PDF. Created at start-up after the main window, kept for the run. While a
// report is laid out, a progress dialog counts the rows and offers "Cancelar".
class TfImp : public QWidget {
    Q_OBJECT
public:
    explicit TfImp(TADO* ado, QWidget* parent = nullptr);
    ~TfImp() override;

    static TfImp* instance();

    // Shows the chosen report of the search's rows; returns when the preview is closed.
    void preview(HistoryReport::Form form, const HistorySearch::Filter& filter);
    // The preview, set up but not shown (the caller runs it).
    QPrintPreviewDialog* makePreview(HistoryReport::Form form, const HistorySearch::Filter& filter, QWidget* parent);
    // Lays the report out on a printer (the preview's paint request), with the progress dialog.
    HistoryReport::Outcome print(QPrinter* printer, HistoryReport::Form form, const HistorySearch::Filter& filter);

private:
    HistoryReport::Options options(HistoryReport::Form form) const;

    TADO* m_ado;
};
