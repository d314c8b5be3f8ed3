#include "contacts/ContactSearch.h"

#include "store/Dataset.h"
#include "store/SqlDialect.h"
#include "store/SqlFunctions.h"
#include "store/TADO.h"

const QList<ContactSearch::Box>& ContactSearch::boxes() {
    static const QList<Box> b{
        {"Nome do Contato", "NOME"},   {"Telefone do Contato", "FONE"},
        {"Email do Contato", "EMAIL"}, {"TEXTO", "TEXTO"},
        {"TEXTO0", "TEXTO0"},          {"TEXTO1", "TEXTO1"},
        {"TEXTO2", "TEXTO2"},          {"TEXTO3", "TEXTO3"},
        {"TEXTO4", "TEXTO4"},          {"TEXTO5", "TEXTO5"},
        {"TEXTO6", "TEXTO6"},          {"TEXTO7", "TEXTO7"},
        {"TEXTO8", "TEXTO8"},          {"TEXTO9", "TEXTO9"},
    };
    return b;
}

const QStringList& ContactSearch::fullList() {
    static const QStringList q{"SELECT *", "FROM dbCLIENTE", "ORDER BY NOME ASC"};
    return q;
}

bool ContactSearch::reopen(const QString& where, const QVariant& bound) {
    QStringList lines{"SELECT *", "FROM dbCLIENTE"};
    if (!where.isEmpty())
        lines << where;
    lines << "ORDER BY NOME ASC";
    m_dataset->close();
    m_dataset->clearBindings();
    m_dataset->setSql(lines);
    if (bound.isValid())
        m_dataset->bindValue(":criterio", bound);
    m_error.clear();
    if (!m_dataset->open()) {
        m_error = m_dataset->lastError();
        return false;
    }
    return true;
}

bool ContactSearch::searchColumn(const QString& column, const QString& text) {
    bool known = false;
    for (const Box& b : boxes())
        known = known || column == QLatin1String(b.column);
    if (!known || text.isEmpty())
        return reopen({});
    // The column comes from the fixed list above; the text only ever travels as a parameter.
    const QString pattern = "%" + SqlFunctions::escapeLike(text) + "%";
    return reopen(QStringLiteral("WHERE ") + SqlDialect::foldedLike(m_dataset->database(), column, ":criterio"),
                  pattern);
}

bool ContactSearch::byStatus(int status) {
    if (status == Ativado)
        return reopen("WHERE DESATIVADO = False ");
    if (status == Desativado)
        return reopen("WHERE DESATIVADO = True ");
    return reopen({});
}

bool ContactSearch::byGroup(bool ticked, const QVariant& idGrupo) {
    if (!ticked || !idGrupo.isValid() || idGrupo.isNull())
        return reopen({});
    return reopen("WHERE ID_GRUPO = :criterio", idGrupo.toLongLong());
}

bool ContactSearch::showAll() {
    return reopen({});
}

bool ContactSearch::deleteAllContacts(TADO* ado, QString* error) {
    Dataset* q = ado->Query;
    q->close();
    q->clearBindings();
    q->setSql(" DELETE FROM dbCLIENTE; ");
    if (q->execSql() < 0) {
        *error = q->lastError();
        return false;
    }
    q->close();
    return ado->resetCounter("dbCLIENTE", error);
}
