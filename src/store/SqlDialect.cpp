#include "store/SqlDialect.h"

#include <QHash>

namespace SqlDialect {

Kind of(const QSqlDatabase& db) {
    return db.driverName() == QLatin1String("QPSQL") ? Kind::Postgres : Kind::Sqlite;
}

QString nowStamp(const QSqlDatabase& db) {
    return isPostgres(db) ? QStringLiteral("to_char(localtimestamp, 'YYYY-MM-DD HH24:MI:SS')")
                          : QStringLiteral("datetime('now','localtime')");
}

QString identityColumn(const QString& table) {
    static const QHash<QString, QString> keys{{"dbcliente", "ID_CLIENTE"},
                                              {"dbhistorico", "ID_HISTORICO"},
                                              {"dbmensagem", "ID"},
                                              {"dbsms", "ID"},
                                              {"dbentrega_pendente", "ID"}};
    return keys.value(table.toLower());
}

QString rowKey(const QSqlDatabase& db, const QString& table) {
    if (!isPostgres(db))
        return QStringLiteral("rowid");
    static const QHash<QString, QString> keys{{"dbgrupo", "ID_GRUPO"}, {"dbporta", "ID"}};
    const QString key = keys.value(table.toLower(), identityColumn(table));
    return key.isEmpty() ? QStringLiteral("ROWID") : key;
}

QString foldedLike(const QSqlDatabase& db, const QString& column, const QString& param) {
    if (isPostgres(db))
        return QStringLiteral("vestral_dobra(%1) LIKE vestral_dobra(%2) ESCAPE '\\'").arg(column, param);
    return QStringLiteral("%1 LIKE %2 ESCAPE '\\'").arg(column, param);
}

QVariant bindable(const QSqlDatabase& db, const QVariant& value) {
    if (value.typeId() == QMetaType::Bool && isPostgres(db))
        return QVariant(value.toBool() ? 1 : 0);
    return value;
}

QString lastInsertedKey(const QSqlDatabase& db) {
    return isPostgres(db) ? QStringLiteral("SELECT lastval()") : QStringLiteral("SELECT last_insert_rowid()");
}

} // namespace SqlDialect
