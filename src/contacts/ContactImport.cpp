#include "contacts/ContactImport.h"

#include <QCoreApplication>
#include <QSignalBlocker>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include "contacts/ContactSearch.h"
#include "contacts/SpreadsheetReader.h"
#include "contacts/TransferStatus.h"
#include "optout/SuppressionSet.h"
#include "store/Dataset.h"
#include "store/ServerCommit.h"
#include "store/SqlDialect.h"
#include "store/TADO.h"

namespace {
// Rows parsed between two looks at the window while a large file is opened.
constexpr int kParseEventsEvery = 256;

// The database's text, with what it means for the operator first when the disk is full.
QString storeErrorText(const QString& error) {
    if (error.contains(QStringLiteral("disk is full"), Qt::CaseInsensitive) &&
        !error.startsWith(QStringLiteral("O disco está cheio")))
        return QStringLiteral("O disco está cheio: %1").arg(error.trimmed());
    return error;
}
} // namespace

ContactImport::ContactImport(TransferStatus* status, QObject* parent)
    : QObject(parent), m_status(status), m_preview(this) {}

ContactImport::ReadResult ContactImport::read(const QString& path) {
    ReadResult result;
    m_status->setPanelVisible(true);
    m_status->setText("Inciando abertura do arquivo do excel.");
    m_status->setProgress(0);
    m_status->setText("Cria Excel- OLE Object");
    m_status->setText("Esconde Excel");
    m_status->setText("Abre o Workbook");
    QList<QStringList> rows;
    if (!parse(path, &rows, &result))
        return result;
    m_status->setText("Pegar o número da última linha");
    m_status->setMaximum(int(rows.size()));
    m_status->setText("Pegar o número da última coluna");
    m_status->setText("Lendo dados do Workbook (Pode demorar de acordo com a quatidade de contatos!)");
    m_status->setText("Cria o loop para listar os registros no StringGrid");
    if (!listRows(rows)) {
        result.outcome = ReadOutcome::Stopped;
        return result;
    }
    m_status->setPanelVisible(false);
    m_status->setText("Fecha o Microsoft Excel");
    m_status->setText("Finalizado processo de leitura do arquivo excel!");
    return result;
}

// Opens and parses the whole sheet; the window keeps answering meanwhile, so a stop pressed while
// a large file opens ends the read before any of its rows is listed.
bool ContactImport::parse(const QString& path, QList<QStringList>* rows, ReadResult* result) {
    SpreadsheetData data = SpreadsheetReader::read(path, [](int done, int) {
        if (done % kParseEventsEvery == 0)
            QCoreApplication::processEvents();
        return !TransferStatus::stopRequested();
    });
    if (!data.error.isEmpty()) {
        m_status->setPanelVisible(false);
        result->outcome = ReadOutcome::Failed;
        result->error = data.error;
        return false;
    }
    if (data.stopped) {
        stopped("Parando importação");
        result->outcome = ReadOutcome::Stopped;
        return false;
    }
    *rows = std::move(data.rows);
    result->warning = data.warning;
    if (!data.warning.isEmpty())
        m_status->setText(data.warning);
    return true;
}

// Lists the rows one by one with the row pause; false when the operator stopped it.
bool ContactImport::listRows(const QList<QStringList>& rows) {
    const int lastRow = int(rows.size());
    for (int row = 1; row <= lastRow; ++row) {
        m_status->rowPause();
        if (TransferStatus::stopRequested()) {
            stopped("Parando importação");
            return false;
        }
        m_preview.addRow(rows[row - 1]);
        m_status->setProgress(row + 1);
        m_status->setText(QStringLiteral("Posição %1 de %2").arg(row + 1).arg(lastRow));
    }
    return true;
}

void ContactImport::stopped(const QString& text) {
    m_status->setText(text);
    TransferStatus::clearStop();
    m_status->setPanelVisible(false);
}

QVariant ContactImport::currentGroup(Dataset* dbGRUPO) {
    if (!dbGRUPO || !dbGRUPO->isOpen() || dbGRUPO->recNo() < 0)
        return 0;
    const QVariant id = dbGRUPO->value("ID_GRUPO");
    return id.isNull() ? QVariant(0) : id;
}

QString ContactImport::saveRow(Dataset* dbCLIENTE, const QStringList& cells, const QVariant& idGrupo, bool disabled) {
    dbCLIENTE->append();
    if (dbCLIENTE->state() != Dataset::State::Insert)
        return dbCLIENTE->lastError().isEmpty() ? QStringLiteral("A lista de contatos não aceita inclusões.")
                                                : dbCLIENTE->lastError();
    const QStringList& fields = SpreadsheetReader::columnFields();
    for (int i = 0; i < fields.size(); ++i) {
        // An empty cell is an empty text, never NULL: searches and merges compare texts. A NUL character
        // (a damaged file) is dropped: PostgreSQL's text cannot hold it, and no contact field needs it.
        QString text = cells.value(i);
        text.remove(QChar(u'\0'));
        dbCLIENTE->setValue(fields[i], text.isNull() ? QStringLiteral("") : text);
    }
    dbCLIENTE->setValue("ID_GRUPO", idGrupo);
    dbCLIENTE->setValue("DESATIVADO", disabled);
    if (dbCLIENTE->post())
        return {};
    const QString error = dbCLIENTE->lastError();
    {
        // The refused row leaves the list with the list's signals held back: a grid following the
        // list would move to a neighbour row while the row is still being inserted, and that move
        // would post the row being dropped. The caller refreshes the list afterwards.
        const QSignalBlocker hold(dbCLIENTE);
        dbCLIENTE->cancel();
    }
    return error.isEmpty() ? QStringLiteral("O contato não foi gravado.") : error;
}

// Rows `batch` in one INSERT of many rows under a savepoint; false (and the savepoint rolled back) when the
// server refused it, which the caller then writes row by row.
bool ContactImport::insertBatch(QSqlDatabase& db, const QList<ImportPreviewModel::Row>& batch, const QVariant& idGrupo,
                                const SuppressionSet& optOut, int* suppressed) {
    const QStringList& fields = SpreadsheetReader::columnFields();
    const QString one =
        QLatin1Char('(') + QStringLiteral("?, ").repeated(int(fields.size()) + 1) + QStringLiteral("?)");
    QString sql = QStringLiteral("INSERT INTO dbCLIENTE (%1, ID_GRUPO, DESATIVADO) VALUES ")
                      .arg(fields.join(QStringLiteral(", ")));
    for (qsizetype i = 0; i < batch.size(); ++i)
        sql += (i == 0 ? QString() : QStringLiteral(", ")) + one;
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SAVEPOINT lote")))
        return false;
    bool ok = q.prepare(sql);
    int listedRows = 0;
    int column = 0;
    for (const ImportPreviewModel::Row& row : batch) {
        for (qsizetype i = 0; i < fields.size(); ++i) {
            // As a row through the list: an empty cell is an empty text, a NUL character is dropped.
            QString text = row.cells.value(i);
            text.remove(QChar(u'\0'));
            q.bindValue(column++, text.isNull() ? QStringLiteral("") : text);
        }
        const bool listed = optOut.contains(row.cells.value(1), row.cells.value(2));
        listedRows += listed ? 1 : 0;
        q.bindValue(column++, idGrupo);
        q.bindValue(column++, listed ? 1 : 0);
    }
    ok = ok && q.exec();
    QSqlQuery end(db);
    if (ok && end.exec(QStringLiteral("RELEASE SAVEPOINT lote"))) {
        *suppressed = listedRows;
        return true;
    }
    end.exec(QStringLiteral("ROLLBACK TO SAVEPOINT lote"));
    return false;
}

ContactImport::SaveResult ContactImport::save(TADO* ado, const QVariant& idGrupo) {
    SaveResult result;
    // A connection lost since the last operation (while the server was still away) is opened again first: a
    // reconnection counted during the save means rows went on two connections.
    ado->database();
    const quint64 reconnects = TADO::reconnects();
    Dataset* clientes = ado->dbCLIENTE;
    // A list left closed by a failed search would take no rows: show everyone again first.
    if (!clientes->isOpen()) {
        clientes->clearBindings();
        clientes->setSql(ContactSearch::fullList());
        if (!clientes->open()) {
            result.error = clientes->lastError();
            result.failedIndice = m_preview.rows().isEmpty() ? 0 : m_preview.rows().first().indice;
            return result;
        }
    }
    // The opt-out list, read once: a listed phone or e-mail is imported disabled.
    SuppressionSet optOut;
    if (!optOut.load(ado->database(), &result.error)) {
        result.error = storeErrorText(result.error);
        result.failedIndice = m_preview.rows().isEmpty() ? 0 : m_preview.rows().first().indice;
        return result;
    }
    // One transaction for the whole save only spares a disk flush per row; every row is still
    // inserted and announced on its own, and the rows before a refused one are committed.
    QSqlDatabase db = ado->database();
    const bool inTransaction = db.transaction();
    // Its id on the server, so a COMMIT whose answer is lost can be looked up instead of reported as failed.
    const qint64 transaction = inTransaction ? ServerCommit::transactionId(db) : 0;
    // A refused statement aborts a PostgreSQL transaction as a whole: a savepoint per row keeps the rows
    // before it, as SQLite keeps them by itself.
    const bool rowSavepoints = inTransaction && SqlDialect::isPostgres(db);
    QSqlQuery savepoint(db);
    // One row through the contact list; false ends the save (result.error says why).
    auto saveOne = [&](const ImportPreviewModel::Row& row) {
        const bool listed = optOut.contains(row.cells.value(1), row.cells.value(2));
        // A savepoint the server refuses ends the save: the transaction is gone (a server that went away), and a
        // row written after it would be written on its own, outside the save.
        if (rowSavepoints && !savepoint.exec(QStringLiteral("SAVEPOINT linha")))
            result.error = storeErrorText(savepoint.lastError().text());
        else
            result.error = storeErrorText(saveRow(clientes, row.cells, idGrupo, listed));
        if (rowSavepoints && result.error.isEmpty() && !savepoint.exec(QStringLiteral("RELEASE SAVEPOINT linha")))
            result.error = storeErrorText(savepoint.lastError().text());
        else if (rowSavepoints && !result.error.isEmpty())
            savepoint.exec(QStringLiteral("ROLLBACK TO SAVEPOINT linha"));
        if (result.error.isEmpty() && TADO::reconnects() != reconnects)
            result.error = storeErrorText(QStringLiteral("a conexão foi aberta de novo no meio da importação"));
        if (!result.error.isEmpty()) {
            result.failedIndice = row.indice;
            return false;
        }
        ++result.saved;
        result.suppressed += listed ? 1 : 0;
        return true;
    };
    const QList<ImportPreviewModel::Row>& rows = m_preview.rows();
    bool batched = false;
    for (qsizetype first = 0; first < rows.size();) {
        const qsizetype count = rowSavepoints ? qMin<qsizetype>(kRowsPerStatement, rows.size() - first) : 1;
        // On a server, rows go many to a statement (one round trip, not one per row). A batch the server refuses
        // goes back to its savepoint and is written again row by row, so the refused row is found and the rows
        // before it are kept.
        if (count > 1) {
            int suppressed = 0;
            if (insertBatch(db, rows.mid(first, count), idGrupo, optOut, &suppressed)) {
                result.saved += int(count);
                result.suppressed += suppressed;
                batched = true;
                first += count;
                continue;
            }
        }
        bool ok = true;
        for (qsizetype i = first; i < first + count && ok; ++i)
            ok = saveOne(rows.at(i));
        if (!ok)
            break;
        first += count;
    }
    // A connection opened again during the loop: the rows before it went with the old one.
    QString commitError;
    if (inTransaction &&
        (TADO::reconnects() != reconnects || !ServerCommit::commit(ado, db, transaction, &commitError))) {
        // A full disk or an I/O error on a row makes SQLite roll the whole transaction back by
        // itself; the commit then only says "no transaction is active". The row's error is the one
        // to tell, and nothing of this save is stored.
        result.error = storeErrorText(
            result.error.isEmpty() ? (commitError.isEmpty() ? db.lastError().text() : commitError) : result.error);
        result.failedIndice = m_preview.rows().first().indice;
        db.rollback();
        // A server gone under the save undid the whole transaction: nothing of it is stored.
        result.error = ado->failureText(result.error, reconnects);
        clientes->refresh();
        result.saved = 0;
        result.suppressed = 0;
        return result;
    }
    if (result.ok()) {
        m_preview.clear();
        if (batched)
            clientes->refresh(); // rows written many to a statement were not announced one by one
    } else {
        // The row's refusal came while the connection stood (a commit whose lost answer was looked up may have
        // opened a new one since): say it as the server said it.
        result.error = ado->failureText(result.error, TADO::reconnects());
        clientes->refresh(); // the list as stored, once the rows before the refused one are committed
        m_preview.removeFirst(result.saved);
    }
    return result;
}
