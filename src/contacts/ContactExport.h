#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class Dataset;
class TransferStatus;

// The spreadsheet export without its widgets: the contacts as the list shows them (its search
// and filter, its order), one sheet row per contact, columns A to N, written where the operator
// chooses, reporting on a TransferStatus.
class ContactExport {
public:
    enum class Outcome { Written, Stopped, Cancelled, Failed };
    struct Result {
        Outcome outcome = Outcome::Written;
        QString path;  // the file written
        QString error; // the writer's text when Failed
        int rows = 0;  // contacts put in the sheet
    };
    // Asks where to save once the sheet is filled; an empty answer cancels (nothing is written).
    using FileChooser = std::function<QString()>;

    explicit ContactExport(TransferStatus* status) : m_status(status) {}

    // A stop during the filling ends the export with no file and the flag cleared. A failed
    // write leaves the status at "Salvando documento" and returns the error.
    Result run(Dataset* dbCLIENTE, const FileChooser& chooseFile);

    // The fourteen texts of the list's row `row`, in the sheet's column order.
    static QStringList rowTexts(const Dataset* dbCLIENTE, int row);

private:
    bool fill(Dataset* dbCLIENTE, QList<QStringList>* sheet);

    TransferStatus* m_status;
};
