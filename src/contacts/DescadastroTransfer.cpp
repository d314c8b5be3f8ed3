#include "contacts/DescadastroTransfer.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>

#include "contacts/SpreadsheetReader.h"
#include "optout/OptOutAddress.h"
#include "store/Dataset.h"
#include "store/TADO.h"
#include "store/TimeText.h"

namespace DescadastroTransfer {
namespace {

// Adds in one transaction; nothing is kept when the database refuses.
SuppressionList::AddResult addAll(TADO* ado, const QList<SuppressionList::Addition>& additions, const QString& origem) {
    QSqlDatabase db = ado->database();
    if (!db.transaction()) {
        SuppressionList::AddResult r;
        r.error = db.lastError().text();
        return r;
    }
    SuppressionList::AddResult r = SuppressionList::add(db, additions, origem);
    if (!r.ok() || !db.commit()) {
        if (r.ok())
            r.error = db.lastError().text();
        db.rollback();
        r.added = r.already = r.contactsDisabled = 0;
        return r;
    }
    if (r.contactsDisabled > 0 && ado->dbCLIENTE && ado->dbCLIENTE->isOpen())
        ado->dbCLIENTE->refresh();
    return r;
}

} // namespace

QStringList splitPasted(const QString& text) {
    static const QRegularExpression separators(QStringLiteral("[\\r\\n,;\\t]+"));
    QStringList out;
    for (const QString& part : text.split(separators, Qt::SkipEmptyParts)) {
        const QString address = part.trimmed();
        if (!address.isEmpty() && !out.contains(address))
            out << address;
    }
    return out;
}

SuppressionList::AddResult addPasted(TADO* ado, const QString& text, const QString& note) {
    QList<SuppressionList::Addition> additions;
    for (const QString& address : splitPasted(text))
        additions.append({address, note.trimmed(), QString()});
    return addAll(ado, additions, SuppressionList::kOrigemOperador);
}

SuppressionList::AddResult importFile(TADO* ado, const QString& path) {
    const SpreadsheetData data = SpreadsheetReader::read(path);
    if (!data.error.isEmpty()) {
        SuppressionList::AddResult r;
        r.error = data.error;
        return r;
    }
    const QString name = QFileInfo(path).fileName();
    QList<SuppressionList::Addition> additions;
    for (const QStringList& row : data.rows)
        for (const QString& cell : row)
            if (const OptOutAddress a = OptOutAddress::from(cell); a.isPhone() || a.kind == OptOutAddress::Kind::Email)
                additions.append({cell, name, QString()});
    return addAll(ado, additions, SuppressionList::kOrigemImportacao);
}

QList<QStringList> exportRows(const QList<SuppressionList::Entry>& entries) {
    QList<QStringList> rows{{"Endereço", "Data", "Origem", "Entrada", "Texto"}};
    rows.reserve(entries.size() + 1);
    for (const SuppressionList::Entry& e : entries)
        rows.append({e.endereco, TimeText::storedStampShown(e.data), e.origem, e.entrada, e.texto});
    return rows;
}

SpreadsheetWriteResult exportFile(TADO* ado, const QString& path) {
    QList<SuppressionList::Entry> entries;
    SpreadsheetWriteResult r;
    if (!SuppressionList::list(ado->database(), QString(), &entries, &r.error))
        return r;
    return SpreadsheetWriter::write(path, exportRows(entries));
}

QString summary(const SuppressionList::AddResult& r) {
    QString text = QStringLiteral("Incluídos: %1  Já na lista: %2  Contatos desativados: %3")
                       .arg(r.added)
                       .arg(r.already)
                       .arg(r.contactsDisabled);
    if (!r.unusable.isEmpty())
        text += QStringLiteral("  Sem endereço: %1").arg(r.unusable.size());
    return text;
}

} // namespace DescadastroTransfer
