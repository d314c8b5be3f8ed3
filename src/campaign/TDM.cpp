#include "campaign/TDM.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <algorithm>

#include "store/Integrity.h"
#include "store/PgSchema.h"
#include "store/SqlDialect.h"
#include "store/StatusSink.h"
#include "store/TADO.h"

namespace {
TDM* g_tdm = nullptr;

// Yes/no columns arrive as 0/1 from SQLite, as booleans or "True"/"-1" texts from other sources.
bool yes(const QVariant& v) {
    if (v.typeId() == QMetaType::QString) {
        const QString s = v.toString().trimmed().toLower();
        return s == "true" || s == "1" || s == "-1" || s == "sim" || s == "t";
    }
    return v.toBool();
}
} // namespace

const QStringList& TDM::localQuery() {
    static const QStringList q{
        " SELECT dbCLIENTE.NOME, dbCLIENTE.FONE AS TELEFONE, dbCLIENTE.EMAIL, dbGRUPO.GRUPO, dbCLIENTE.DESATIVADO, "
        "dbCLIENTE.TEXTO, ",
        " dbCLIENTE.TEXTO0, dbCLIENTE.TEXTO1, dbCLIENTE.TEXTO2, dbCLIENTE.TEXTO3, dbCLIENTE.TEXTO4, ",
        " dbCLIENTE.TEXTO5, dbCLIENTE.TEXTO6, dbCLIENTE.TEXTO7, dbCLIENTE.TEXTO8, dbCLIENTE.TEXTO9 ",
        " FROM dbGRUPO INNER JOIN dbCLIENTE ON dbGRUPO.[ID_GRUPO] = dbCLIENTE.[ID_GRUPO] ",
        " ORDER BY dbCLIENTE.NOME, dbCLIENTE.FONE; "};
    return q;
}

QString TDM::connectionErrorText(const QString& error) {
    return QStringLiteral("Erro na conexão com o Banco de Dados:\r") + error;
}

TDM::TDM(TADO* ado, QObject* parent)
    : QObject(parent), m_ado(ado),
      m_connectionName(QStringLiteral("TDM-%1").arg(reinterpret_cast<quintptr>(this), 0, 16)) {
    if (!g_tdm)
        g_tdm = this;
}

TDM::~TDM() {
    if (g_tdm == this)
        g_tdm = nullptr;
    if (QSqlDatabase::contains(m_connectionName)) {
        QSqlDatabase::database(m_connectionName, false).close();
        QSqlDatabase::removeDatabase(m_connectionName);
    }
}

TDM* TDM::instance() {
    return g_tdm;
}

bool TDM::isConnected() const {
    return QSqlDatabase::contains(m_connectionName) && QSqlDatabase::database(m_connectionName, false).isOpen();
}

void TDM::close() {
    m_open = false;
    m_fields.clear();
    m_index.clear();
    m_rows.clear();
    m_visible.clear();
    m_marked.clear();
    m_current = -1;
    Q_EMIT rowsReset();
    Q_EMIT currentChanged(-1);
}

bool TDM::openConnection(Source source, QString* error) {
    if (QSqlDatabase::contains(m_connectionName)) {
        QSqlDatabase::database(m_connectionName, false).close();
        QSqlDatabase::removeDatabase(m_connectionName);
    }
    const bool local = source == CadastroLocal;
    if (local && m_ado->store().isPostgres()) // the station's own server, as the data module reaches it
        return PgSchema::connect(m_ado->store(), m_connectionName, error).isOpen();
    QSqlDatabase db = QSqlDatabase::addDatabase(local ? "QSQLITE" : "QODBC", m_connectionName);
    if (local) {
        db.setDatabaseName(m_ado->databasePath());
        db.setConnectOptions("QSQLITE_BUSY_TIMEOUT=5000");
    } else {
        // The operator's connection string goes to the driver manager as it is.
        db.setDatabaseName(m_ado->dbCFG->text("ADOCONNECTION"));
    }
    if (!db.open()) {
        *error = db.lastError().text();
        return false;
    }
    return true;
}

bool TDM::load(const QString& sql, QString* error) {
    QSqlQuery q(QSqlDatabase::database(m_connectionName, false));
    q.setForwardOnly(true);
    if (!q.exec(sql)) {
        *error = q.lastError().text();
        return false;
    }
    const QSqlRecord rec = q.record();
    for (int i = 0; i < rec.count(); ++i) {
        // The contacts' own columns are upper case (PostgreSQL hands them back folded to lower case); an
        // external source keeps the names its query gives.
        const QString name = m_source == CadastroLocal ? rec.fieldName(i).toUpper() : rec.fieldName(i);
        m_fields << name;
        m_index.insert(name.toUpper(), i);
    }
    while (q.next()) {
        QList<QVariant> row;
        row.reserve(rec.count());
        for (int i = 0; i < rec.count(); ++i)
            row << q.value(i);
        m_rows << std::move(row);
    }
    // next() is false at the end and on a read error alike: a campaign must not go out to the
    // recipients read before a damaged page as if they were all.
    if (q.lastError().isValid()) {
        *error = Integrity::readErrorText(q.lastError().text());
        return false;
    }
    return true;
}

bool TDM::connectSource(Source source, QString* error) {
    QString err;
    m_source = source;
    m_open = false;
    m_fields.clear();
    m_index.clear();
    m_rows.clear();
    bool ok = openConnection(source, &err);
    if (ok) {
        const QString sql =
            source == CadastroLocal
                ? SqlDialect::plainNames(QSqlDatabase::database(m_connectionName, false), localQuery().join('\n'))
                : m_ado->dbCFG->text("QUERY");
        ok = load(sql, &err);
    }
    if (!ok) {
        m_fields.clear();
        m_index.clear();
        m_rows.clear();
    }
    m_open = ok;
    m_marked = QList<bool>(m_rows.size(), false);
    applyFilter();
    if (m_open)
        publishCount();
    if (error)
        *error = err;
    return ok;
}

int TDM::fieldIndex(const QString& field) const {
    // Column names compare without case (an external source may return "nome" for NOME).
    const auto it = m_index.constFind(field);
    if (it != m_index.constEnd())
        return it.value();
    return m_index.value(field.toUpper(), -1);
}

QVariant TDM::value(int row, int column) const {
    if (row < 0 || row >= m_visible.size() || column < 0 || column >= m_fields.size())
        return {};
    return m_rows[m_visible[row]][column];
}

QVariant TDM::value(int row, const QString& field) const {
    return value(row, fieldIndex(field));
}

Merge::FieldLookup TDM::fieldsOf(int row) const {
    // A snapshot of the row: it stays valid when the set is reloaded or filtered while a sender
    // waits (a re-probe or a pause lets the operator press "Conectar Banco de Dados ").
    QList<QVariant> values;
    if (row >= 0 && row < m_visible.size())
        values = m_rows[m_visible[row]];
    return [values, index = m_index](const QString& field, QString* out) {
        auto it = index.constFind(field);
        if (it == index.constEnd())
            it = index.constFind(field.toUpper());
        if (it == index.constEnd())
            return false;
        *out = values.value(it.value()).toString();
        return true;
    };
}

void TDM::moveTo(int row) {
    const int r = m_visible.isEmpty() ? -1 : std::clamp(row, 0, int(m_visible.size()) - 1);
    if (r == m_current)
        return;
    m_current = r;
    Q_EMIT currentChanged(r);
}

bool TDM::filter(const QString& group, int status, Source pageSource) {
    if (group.isEmpty() || pageSource != CadastroLocal)
        return false;
    Filter f;
    f.active = true;
    f.anyGroup = group == QLatin1String("TODOS");
    f.group = group;
    f.status = status;
    setFilter(f);
    if (m_open)
        publishCount();
    return true;
}

void TDM::setFilter(const Filter& filter) {
    m_filter = filter;
    applyFilter();
}

bool TDM::passes(const QList<QVariant>& row) const {
    if (!m_filter.active)
        return true;
    if (!m_filter.anyGroup) {
        const int g = fieldIndex("GRUPO");
        if (g < 0 || row[g].toString() != m_filter.group)
            return false;
    }
    if (m_filter.status == Todos)
        return true;
    const int d = fieldIndex("DESATIVADO");
    return d >= 0 && yes(row[d]) == (m_filter.status == Desativado);
}

void TDM::applyFilter() {
    m_visible.clear();
    for (int i = 0; i < m_rows.size(); ++i) {
        if (passes(m_rows[i]))
            m_visible << i;
        else
            m_marked[i] = false; // a hidden row cannot stay marked
    }
    m_current = m_visible.isEmpty() ? -1 : 0;
    Q_EMIT rowsReset();
    Q_EMIT currentChanged(m_current);
}

void TDM::publishCount() const {
    StatusSink::instance()->setPanel(StatusSink::Recipients,
                                     QStringLiteral("Contatos para envio: %1").arg(recordCount()));
}

bool TDM::isMarked(int row) const {
    return row >= 0 && row < m_visible.size() && m_marked[m_visible[row]];
}

void TDM::setMarked(int row, bool marked) {
    if (row >= 0 && row < m_visible.size())
        m_marked[m_visible[row]] = marked;
}

void TDM::setMarks(const QList<int>& rows) {
    m_marked.fill(false);
    for (int r : rows)
        setMarked(r, true);
}

void TDM::markAll() {
    for (int i = 0; i < m_visible.size(); ++i)
        setMarked(i, true);
    moveTo(0);
    Q_EMIT marksChanged();
}

void TDM::unmarkAll() {
    m_marked.fill(false);
    moveTo(0);
    Q_EMIT marksChanged();
}

void TDM::markFrom(int row) {
    for (int i = std::max(row, 0); i < m_visible.size(); ++i)
        setMarked(i, true);
    moveTo(int(m_visible.size()) - 1);
    Q_EMIT marksChanged();
}

QList<int> TDM::markedRows() const {
    QList<int> rows;
    for (int i = 0; i < m_visible.size(); ++i) {
        if (m_marked[m_visible[i]])
            rows << i;
    }
    return rows;
}
