#include "contacts/ContactExport.h"

#include "contacts/SpreadsheetReader.h"
#include "contacts/SpreadsheetWriter.h"
#include "contacts/TransferStatus.h"
#include "store/Dataset.h"
#include "store/Integrity.h"

QStringList ContactExport::rowTexts(const Dataset* dbCLIENTE, int row) {
    QStringList texts;
    for (const QString& field : SpreadsheetReader::columnFields()) {
        const int column = dbCLIENTE->fieldIndex(field);
        texts << (column < 0 ? QString() : dbCLIENTE->valueAt(row, column).toString());
    }
    return texts;
}

ContactExport::Result ContactExport::run(Dataset* dbCLIENTE, const FileChooser& chooseFile) {
    Result result;
    // The sheet is made from the whole list or not at all: a page that cannot be read stops it.
    if (dbCLIENTE->isOpen() && !dbCLIENTE->fetchAll()) {
        result.outcome = Outcome::Failed;
        result.error = Integrity::readErrorText(dbCLIENTE->lastError());
        return result;
    }
    m_status->setPanelVisible(true);
    m_status->setText("Exportando contatos!");
    m_status->setText("Cria um novo documento!");
    m_status->setText("Criando dados do documento!");
    QList<QStringList> sheet;
    if (!fill(dbCLIENTE, &sheet)) {
        result.outcome = Outcome::Stopped;
        return result;
    }
    result.rows = int(sheet.size());
    m_status->setText("Formatando células!");
    m_status->setProgress(0);
    m_status->setPanelVisible(false);
    m_status->setText("Salvando documento");
    result.path = chooseFile ? chooseFile() : QString();
    if (result.path.isEmpty()) {
        result.outcome = Outcome::Cancelled;
    } else {
        const SpreadsheetWriteResult written = SpreadsheetWriter::write(result.path, sheet);
        if (!written.ok()) {
            result.outcome = Outcome::Failed;
            result.error = written.error;
            return result;
        }
    }
    m_status->setText("Finalizado exportação!");
    return result;
}

// Copies the listed contacts into the sheet, first to last, with the row pause; false when the
// operator stopped it.
bool ContactExport::fill(Dataset* dbCLIENTE, QList<QStringList>* sheet) {
    const int count = dbCLIENTE->isOpen() ? dbCLIENTE->recordCount() : 0;
    m_status->setMaximum(count);
    m_status->setText("Iniciando laço para colocar contatos no documento!");
    sheet->reserve(count);
    for (int k = 1; k <= count; ++k) {
        m_status->rowPause();
        if (TransferStatus::stopRequested()) {
            m_status->setText("Parando Exportação!");
            m_status->setPanelVisible(false);
            TransferStatus::clearStop();
            return false;
        }
        sheet->append(rowTexts(dbCLIENTE, k - 1));
        m_status->setProgress(k);
        m_status->setText(QStringLiteral("Salvando %1 de %2").arg(k + 1).arg(count));
    }
    return true;
}
