#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>

// The results a station could not store because the database was out of reach: each one goes to a file in the
// data folder, flushed to the disk before the slot sends anything else, and is applied to the database once it
// is back. A result in this file was sent by a modem; losing it would leave its outbox row in flight with no
// history row, and an operator who then resent it would send it twice.
//
// One JSON object per line. A line the program did not finish writing (killed in the middle, disk full) has no
// newline: it was never acknowledged, its outbox row is still marked in flight on the server, and it is dropped
// with a warning. A line that does not read is kept aside in "<file>.ruins" and said, never applied half-read.
class ResultJournal {
public:
    struct Entry {
        qint64 outboxId = 0; // the outbox row it settles
        qint64 token = 0;    // that row's claim token when it was sent (0: none, the single-station file)
        int slot = 0;
        QString station;
        QString destinatario;
        QString mensagem;
        QString tipo;
        bool enviado = false;
        QString imsi;
        QList<int> references; // PDU parts' message references, for the delivery reports
        QDateTime when;        // when the modem answered
        bool operator==(const Entry&) const = default;
    };

    // What applying one entry did: it is stored now, it was stored already (the outbox row is gone: an earlier
    // apply committed it and was stopped before the file was emptied), or the database refused it (kept).
    enum class Applied { Stored, AlreadyStored, Failed };

    explicit ResultJournal(QString path);

    const QString& path() const { return m_path; }

    // Appends `e` and flushes it to the disk (fsync). False with *error (Portuguese, with the system's reason)
    // when it could not be made durable: the caller must then not send anything more.
    bool append(const Entry& e, QString* error);

    // The entries written whole, in order. *warnings gets a line for a torn last line or lines that do not read
    // (apply() sets those aside).
    QList<Entry> read(QStringList* warnings = nullptr) const;

    bool isEmpty() const;

    // Applies every entry in order through `store` (one database transaction each, idempotent); stops at the
    // first that fails. The file then keeps only the entries not applied (removed when none is left). Returns
    // how many were stored or found stored; *error says why the rest waits.
    int apply(const std::function<Applied(const Entry&, QString* error)>& store, QString* error,
              QStringList* warnings = nullptr);

    // The file's name in the data folder.
    static const char* const kFileName;

private:
    QList<Entry> parse(QList<QByteArray>* bad, QStringList* warnings) const;
    bool rewrite(const QList<Entry>& keep, QString* error) const;
    void setAside(const QList<QByteArray>& lines, QStringList* warnings) const;

    QString m_path;
};
