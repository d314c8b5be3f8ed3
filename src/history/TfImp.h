#pragma once

#include <QWidget>

#include "history/HistoryReport.h"

class TADO;
class QPrintPreviewDialog;
class QPrinter;

// The hidden report window: holds the two history reports ("Completo", "Resumido") over the
// history result set and shows them in a print preview, from which the operator prints, sets
// up the printer or saves a PDF. Created at start-up after the main window, kept for the run.
class TfImp : public QWidget {
    Q_OBJECT
public:
    explicit TfImp(TADO* ado, QWidget* parent = nullptr);
    ~TfImp() override;

    static TfImp* instance();

    // Shows the chosen report's preview; returns when the preview is closed.
    void preview(HistoryReport::Form form);
    // The preview, set up but not shown (the caller runs it).
    QPrintPreviewDialog* makePreview(HistoryReport::Form form, QWidget* parent);
    // Lays the report out on a printer (the preview's paint request).
    int print(QPrinter* printer, HistoryReport::Form form);

private:
    HistoryReport::Options options(HistoryReport::Form form) const;

    TADO* m_ado;
};
