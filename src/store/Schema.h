#pragma once

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

// The database file: its tables, the first-run contents and the start-up upgrade of older files.
namespace Schema {

// The tables that every database file must hold before the upgrade (the shipped seven).
const QStringList& shippedTables();

// The statements that create every table and index of the current schema, as SQLite takes them.
QStringList freshDdl();
// The stations table, and the outbox's claim columns (ESTACAO, FICHA, FICHA_VALIDADE).
QString dbEstacaoDdl();
QStringList claimColumns();
// dbENTREGA_PENDENTE's station: whose modem sent the part a delivery report is awaited for.
QString entregaEstacaoColumn();
QString entregaFoneColumn();
// The first-run contents: one settings row, the 64 port rows and one group.
bool insertFirstRunRows(QSqlDatabase& db, QString* error);
// The 64 slot rows of `station` in dbPORTA that are missing (settings of a new slot).
bool insertStationSlots(QSqlDatabase& db, const QString& station, QString* error);
// Gives `station` the slot rows that have no station yet (on SQLite, every row: the file is one station's) and
// its missing slot rows.
bool adoptStationSlots(QSqlDatabase& db, const QString& station, QString* error);

// Creates every table and index of the current schema with the first-run contents: one settings
// row, the 64 port rows and one group. Returns an empty string on success, else the error text.
QString createFresh(QSqlDatabase& db);

// Upgrades an older file in place. Failures to add a settings or contact column are caught and
// returned as "Erro - Criando Coluna <col> = <error>" warnings (the upgrade goes on); a failure to
// create the received-SMS tables stops it and is returned in fatalError.
struct UpgradeResult {
    QStringList warnings;
    QStringList executed; // statements run, in order (empty when the file was current)
    QString fatalError;
};
UpgradeResult upgrade(QSqlDatabase& db);

bool hasColumn(const QSqlDatabase& db, const QString& table, const QString& column);
bool hasTable(const QSqlDatabase& db, const QString& table);
QStringList columns(const QSqlDatabase& db, const QString& table);

// Restarts the auto-number of a table at 1 (the next insert gets key 1), or, when rows remain,
// at the highest key + 1.
bool resetCounter(QSqlDatabase& db, const QString& table, QString* error = nullptr);

} // namespace Schema
