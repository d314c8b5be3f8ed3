#pragma once

#include <QObject>
#include <QString>
#include <QVariant>

#include "contacts/ImportPreviewModel.h"

class Dataset;
class QSqlDatabase;
class SuppressionSet;
class TADO;
class TransferStatus;

// The spreadsheet import without its widgets: reads a sheet into the preview list row by row,
// reporting on a TransferStatus, then saves the preview as new contacts or drops it.
//
// The preview lives as long as this object: a stopped read keeps the rows listed so far, so the
// next read adds after them and the next save stores both. Only save and cancel empty it.
class ContactImport : public QObject {
    Q_OBJECT
public:
    enum class ReadOutcome { Finished, Stopped, Failed };
    struct ReadResult {
        ReadOutcome outcome = ReadOutcome::Finished;
        QString error;   // the reader's own text when Failed
        QString warning; // what the operator should know about a file read anyway
    };
    struct SaveResult {
        int saved = 0;        // contacts stored by this save
        int failedIndice = 0; // "Indice" of the row the database refused, 0 when none
        int suppressed = 0;   // contacts stored disabled: their phone or e-mail is on the opt-out list
        QString error;        // the database's text for that row
        bool ok() const { return error.isEmpty(); }
    };

    explicit ContactImport(TransferStatus* status, QObject* parent = nullptr);

    ImportPreviewModel* preview() { return &m_preview; }

    // Reads the first worksheet of `path` into the preview. Finished and Stopped hide the status
    // panel; so does Failed, which adds nothing and returns the error's text.
    ReadResult read(const QString& path);

    // Stores every preview row, in order, as a contact of group `idGrupo` with DESATIVADO false (true, and
    // counted, when its phone or e-mail is on the opt-out list),
    // through dbCLIENTE so that its events fire for each row (on a database server, 256 rows to a statement, and
    // the list read again at the end). On success the preview is emptied.
    // A refused row ends the save there: the rows before it stay stored and leave the preview,
    // which then starts with the refused row, so saving again does not store them twice.
    SaveResult save(TADO* ado, const QVariant& idGrupo);

    // "Cancelar Importação": empties the preview; the contacts are not touched.
    void cancel() { m_preview.clear(); }

    // The group a save stores: ID_GRUPO of the current row of dbGRUPO, 0 when there is none.
    static QVariant currentGroup(Dataset* dbGRUPO);

private:
    bool parse(const QString& path, QList<QStringList>* rows, ReadResult* result);
    bool listRows(const QList<QStringList>& rows);
    void stopped(const QString& text);
    static QString saveRow(Dataset* dbCLIENTE, const QStringList& cells, const QVariant& idGrupo, bool disabled);
    static bool insertBatch(QSqlDatabase& db, const QList<ImportPreviewModel::Row>& batch, const QVariant& idGrupo,
                            const SuppressionSet& optOut, int* suppressed);

    // Rows to one INSERT on a database server.
    static constexpr qsizetype kRowsPerStatement = 256;

    TransferStatus* m_status;
    ImportPreviewModel m_preview;
};
