#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QString>

// The stations that share the store as the stations table and their work show them: the same figures for the
// --stations command and the "Estações" page.
namespace StationList {

struct Row {
    QString name;
    QString host;
    QString version;
    qint64 pid = 0;
    qint64 silentSeconds = -1; // since the last heartbeat, on the store's clock; -1 when there was none
    int ready = 0;             // its slots in the active list
    int sending = 0;           // its outbox rows at a modem, result not stored yet
    int sentLastHour = 0;      // its history rows sent in the last hour
    QString error;             // its last error, if any

    // No heartbeat for longer than the lock's limit: the machine is taken as gone.
    bool silent() const;
};

// Every station, ordered by name; false (with *error) when the store cannot be read.
bool read(const QSqlDatabase& db, QList<Row>* rows, QString* error);

// One line per station: "NOME  HOST  vX.Y.Z  PID n  batida há N s  entradas prontas K  em envio M  enviadas na
// última hora H", " (SEM SINAL)" when silent, then "\n  ERRO: …" when it has one. Control characters read from
// the store are shown as blanks.
QString line(const Row& row);

// A text from the store as one printable line.
QString printable(const QString& text);

} // namespace StationList
