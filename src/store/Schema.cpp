#include "store/Schema.h"

#include "store/PgSchema.h"
#include "store/SmsModeSettings.h"
#include "store/SqlDialect.h"
#include "store/Station.h"
#include "store/TableRebuild.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

namespace Schema {
namespace {

// TEXT(n) of the original engine: longer values are refused, as the operator expects.
QString text(const QString& col, int n) {
    return QStringLiteral("%1 TEXT CHECK (length(%1) <= %2)").arg(col).arg(n);
}

QString yesNo(const QString& col, bool dflt = false) {
    return QStringLiteral("%1 INTEGER NOT NULL DEFAULT %2").arg(col).arg(dflt ? 1 : 0);
}

QStringList texto11() {
    QStringList cols{text("TEXTO", 30)};
    for (int i = 0; i <= 9; ++i)
        cols << text(QStringLiteral("TEXTO%1").arg(i), 30);
    return cols;
}

QString createTable(const QString& name, const QStringList& cols) {
    return QStringLiteral("CREATE TABLE %1 (\n  %2\n)").arg(name, cols.join(",\n  "));
}

// DESCADASTRO: what the opt-out pass made of the message: NULL not judged yet, 0 nothing, 1 its sender left the
// list of recipients, 2 it mentions an opt-out word inside a sentence (shown to the operator).
QString dbSmsDdl() {
    return createTable("dbSMS", {"ID INTEGER PRIMARY KEY AUTOINCREMENT NOT NULL", "ID_SMS INTEGER", "DATA DATETIME",
                                 "RECEBIDO DATETIME", "ENTRADA INTEGER", "FONE VARCHAR(255)", "SMS TEXT", yesNo("LIDO"),
                                 "DESCADASTRO INTEGER"});
}

// The opt-out list: one row per address that gets no more messages. ENDERECO is the E.164 number, the e-mail
// in lower case or a number kept as written (NORMALIZADO 0); NACIONAL the number's national significant
// digits, which the builders' lookups use to leave out at once the recipients that cannot match. CONFIRMADO 1:
// the SMS telling the sender that no more messages will come was put in the outbox (never a second one).
QString dbDescadastroDdl() {
    return createTable("dbDESCADASTRO",
                       {"ID INTEGER PRIMARY KEY AUTOINCREMENT", "ENDERECO TEXT NOT NULL UNIQUE", "NACIONAL TEXT",
                        "DATA DATETIME NOT NULL DEFAULT (datetime('now','localtime'))",
                        "ORIGEM TEXT NOT NULL CHECK (ORIGEM IN ('SMS', 'E-MAIL', 'OPERADOR', 'IMPORTAÇÃO'))",
                        "TEXTO TEXT", "ENTRADA TEXT", yesNo("NORMALIZADO", true), yesNo("CONFIRMADO")});
}

const char* const kPalavrasSairDefault = "SAIR, PARE, STOP, CANCELAR, DESCADASTRAR, REMOVER";

QString dbSmsBufferDdl() {
    return createTable("dbSMS_BUFFER", {text("CODIGO", 50), text("FONE", 50), text("DATA", 50), "SMS TEXT"});
}

// "TEXTO": text mode (AT+CMGF=1); "PDU": PDU mode (AT+CMGF=0). Nothing else is a mode.
const char* const kModoSmsColumn = "MODO_SMS TEXT NOT NULL DEFAULT 'TEXTO' CHECK (MODO_SMS IN ('TEXTO', 'PDU'))";
// Seconds a slot's modem is given to register on the network before its first send.
const char* const kEsperaRedeColumn = "ESPERA_REDE_S INTEGER NOT NULL DEFAULT 60";
// A slot's SIM and modem: the PIN the operator gave (PIN_RECUSADO: the SIM refused it, it is not tried again
// until a new one is saved), the SMS centre to set (empty: the SIM's own), what the modem said it is at the
// last port open, and the slot's daily cap of SMS (0: none).
QStringList portaModemColumns() {
    return {"PIN TEXT",  yesNo("PIN_RECUSADO"), "SMSC TEXT",   "IMEI TEXT",
            "IMSI TEXT", "ICCID TEXT",          "MODELO TEXT", "LIMITE_DIA INTEGER NOT NULL DEFAULT 0"};
}
// A new PIN saved for a slot lifts the refusal of the old one.
const char* const kPinTrigger =
    "CREATE TRIGGER TR_PORTA_PIN AFTER UPDATE OF PIN ON dbPORTA WHEN NEW.PIN IS NOT OLD.PIN "
    "BEGIN UPDATE dbPORTA SET PIN_RECUSADO = 0 WHERE rowid = NEW.rowid; END";
// Message references (TP-MR of "+CMGS: <mr>") of the parts whose delivery report is awaited, one row per
// part; a row whose ID_HISTORICO is NULL holds a report that came before its send was recorded, FONE the number
// that report names (so it is adopted only by a send to that number). ESTACAO is the
// station whose modem sent the part (each modem counts its references itself, so two stations' slots of one
// number reuse the same references); NULL in a row written before rows carried it.
QString dbEntregaPendenteDdl() {
    return createTable("dbENTREGA_PENDENTE",
                       {"ID INTEGER PRIMARY KEY AUTOINCREMENT", "PORTA INTEGER NOT NULL",
                        "REFERENCIA INTEGER NOT NULL CHECK (REFERENCIA BETWEEN 0 AND 255)", "ID_HISTORICO INTEGER",
                        "PARTE INTEGER NOT NULL DEFAULT 1", "PARTES INTEGER NOT NULL DEFAULT 1",
                        "ENVIO DATETIME NOT NULL", "CENTRAL DATETIME", "SITUACAO INTEGER", "ENTREGUE DATETIME",
                        entregaEstacaoColumn(), entregaFoneColumn()});
}

const char* const kEntregaIndexes[] = {
    "CREATE INDEX IX_ENTREGA_PENDENTE_REF ON dbENTREGA_PENDENTE (PORTA, REFERENCIA)",
    "CREATE INDEX IX_ENTREGA_PENDENTE_HISTORICO ON dbENTREGA_PENDENTE (ID_HISTORICO)",
};

// First time each concatenated received message (slot, sender, reference, part count) was listed:
// its parts wait on the modem for their siblings for a day from then, across restarts.
QString dbSmsParteDdl() {
    return createTable("dbSMS_PARTE", {"ENTRADA INTEGER", "FONE TEXT", "REFERENCIA INTEGER", yesNo("LONGA"),
                                       "TOTAL INTEGER", "VISTO TEXT"});
}

} // namespace

QString entregaEstacaoColumn() {
    return QStringLiteral("ESTACAO VARCHAR(64)");
}

QString entregaFoneColumn() {
    return QStringLiteral("FONE TEXT");
}

// The programs that share one store, one row each: its name (--station, the host name by default), the
// machine, the version, when it started and its last heartbeat (both on the store's clock), its last error.
QString dbEstacaoDdl() {
    return createTable("dbESTACAO", {"NOME VARCHAR(64) PRIMARY KEY NOT NULL", "HOST TEXT", "VERSAO TEXT", "PID INTEGER",
                                     "INICIO DATETIME", "BATIDA DATETIME", "ERRO TEXT"});
}

// An outbox row's claim on a shared store: the station and slot (PORTA) that hold it, the claim's token
// (a number that only grows: a write about the row counts only while its token is the row's) and when
// the claim lapses if the row has not gone to a modem by then.
// The station a slot row (dbPORTA, dbPORTA_ATIVA) or a history row belongs to.
const char* const kEstacaoColumn = "ESTACAO VARCHAR(64)";

QStringList claimColumns() {
    return {"ESTACAO VARCHAR(64)", "FICHA BIGINT", "FICHA_VALIDADE DATETIME"};
}

QStringList freshDdl() {
    QStringList cliente{"ID_CLIENTE INTEGER PRIMARY KEY AUTOINCREMENT",
                        "NOME TEXT",
                        "FONE TEXT",
                        "EMAIL TEXT",
                        "ID_GRUPO INTEGER",
                        yesNo("DESATIVADO")};
    cliente << texto11();
    return {
        createTable("dbGRUPO", {"ID_GRUPO INTEGER PRIMARY KEY", "GRUPO TEXT"}),
        createTable("dbCFG", {"EMPRESA TEXT",
                              "HOST TEXT",
                              "USERNAME TEXT",
                              "PASSWORD TEXT",
                              "PORTA INTEGER",
                              "TLS TEXT",
                              yesNo("SSL", true),
                              text("METHODSLL", 30),
                              "ASSUNTO TEXT",
                              "BODY_EMAIL TEXT",
                              text("BODY_SMS", kSmsColumnMaxChars),
                              "HORARIO TEXT",
                              yesNo("AUTO"),
                              "ADOCONNECTION TEXT",
                              "QUERY TEXT",
                              "CASCATA INTEGER",
                              "TEMPO_SMS INTEGER",
                              "TEMPO_EMAIL INTEGER",
                              "VERSAO TEXT",
                              kModoSmsColumn,
                              yesNo("CONFIRMA_ENTREGA"),
                              "PALAVRAS_SAIR TEXT",
                              yesNo("RODAPE_SAIR", true),
                              kEsperaRedeColumn,
                              yesNo("CONFIRMA_SAIR")}),
        createTable("dbCLIENTE", cliente),
        createTable("dbHISTORICO", {"ID_HISTORICO INTEGER PRIMARY KEY AUTOINCREMENT",
                                    "DATA DATETIME NOT NULL DEFAULT (datetime('now','localtime'))", "DESTINATARIO TEXT",
                                    "MENSAGEM TEXT", "TIPO TEXT", yesNo("ENVIADO"), "ENTREGUE DATETIME",
                                    "STATUS_ENTREGA TEXT", "IMSI TEXT", kEstacaoColumn}),
        createTable("dbMENSAGEM",
                    QStringList{"ID INTEGER PRIMARY KEY AUTOINCREMENT", "FONE TEXT",
                                text("MENSAGEM", kSmsColumnMaxChars), "PORTA INTEGER", "ENVIANDO DATETIME"} +
                        claimColumns()),
        createTable("dbPORTA", QStringList{"ID INTEGER NOT NULL", "COM INTEGER", "VELOCIDADE INTEGER", "PARIDADE TEXT",
                                           "DATABITS INTEGER", "STOPBITS INTEGER", yesNo("ATIVO")} +
                                   portaModemColumns() + QStringList{kEstacaoColumn, "UNIQUE (ESTACAO, ID)"}),
        createTable("dbPORTA_ATIVA", {"ENTRADA INTEGER", "QTD INTEGER", kEstacaoColumn, "UNIQUE (ESTACAO, ENTRADA)"}),
        dbSmsDdl(),
        dbSmsBufferDdl(),
        dbEntregaPendenteDdl(),
        dbSmsParteDdl(),
        dbDescadastroDdl(),
        dbEstacaoDdl(),
        "CREATE INDEX IX_HISTORICO_DATA ON dbHISTORICO (DATA)",
        "CREATE INDEX IX_CLIENTE_NOME ON dbCLIENTE (NOME)",
        "CREATE INDEX IX_MENSAGEM_PORTA ON dbMENSAGEM (PORTA, ID)",
        kEntregaIndexes[0],
        kEntregaIndexes[1],
        kPinTrigger,
    };
}

namespace {

const char* const kDefaultBodyEmail = "<html><body style=\"font-family: Arial, sans-serif\">\n<p>Olá [NOME],</p>\n"
                                      "<p>Esta é uma mensagem de teste.</p>\n</body></html>";

bool exec(QSqlDatabase& db, const QString& sql, QString* error) {
    QSqlQuery q(db);
    if (q.exec(sql))
        return true;
    if (error)
        *error = q.lastError().text();
    return false;
}

} // namespace

bool insertFirstRunRows(QSqlDatabase& db, QString* error) {
    QSqlQuery q(db);
    q.prepare("INSERT INTO dbCFG (EMPRESA, HOST, USERNAME, PASSWORD, PORTA, TLS, SSL, METHODSLL, ASSUNTO, BODY_EMAIL, "
              "BODY_SMS, HORARIO, AUTO, ADOCONNECTION, QUERY, CASCATA, TEMPO_SMS, TEMPO_EMAIL, VERSAO, MODO_SMS, "
              "CONFIRMA_ENTREGA, PALAVRAS_SAIR, RODAPE_SAIR) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
              "?, ?, ?, ?, ?, "
              "?, ?)");
    const QVariantList values{"Minha Empresa",
                              "localhost",
                              "",
                              "",
                              587,
                              "utUseExplicitTLS",
                              1,
                              "sslvTLSv1",
                              "Novidades para [NOME]",
                              QString::fromUtf8(kDefaultBodyEmail),
                              QStringLiteral("Ola [NOME], esta e uma mensagem de teste."),
                              "08:00",
                              0,
                              "",
                              "",
                              10,
                              1000,
                              1000,
                              "2.0",
                              "TEXTO",
                              0,
                              QString::fromUtf8(kPalavrasSairDefault),
                              1};
    for (const QVariant& v : values)
        q.addBindValue(v);
    if (!q.exec()) {
        if (error)
            *error = q.lastError().text();
        return false;
    }
    return insertStationSlots(db, Station::current(), error) &&
           exec(db, "INSERT INTO dbGRUPO (ID_GRUPO, GRUPO) VALUES (1, 'GERAL')", error);
}

bool insertStationSlots(QSqlDatabase& db, const QString& station, QString* error) {
    QSqlQuery port(db);
    port.prepare("INSERT INTO dbPORTA (ESTACAO, ID, COM, VELOCIDADE, PARIDADE, DATABITS, STOPBITS, ATIVO) "
                 "SELECT ?, ?, ?, 115200, 'pNone', 8, 1, 0 WHERE NOT EXISTS "
                 "(SELECT 1 FROM dbPORTA WHERE ESTACAO = ? AND ID = ?)");
    for (int n = 1; n <= 64; ++n) {
        port.addBindValue(station);
        port.addBindValue(n);
        port.addBindValue(n);
        port.addBindValue(station);
        port.addBindValue(n);
        if (!port.exec()) {
            if (error)
                *error = port.lastError().text();
            return false;
        }
    }
    return true;
}

bool adoptStationSlots(QSqlDatabase& db, const QString& station, QString* error) {
    // Rows from before stations were named belong to the first station that starts on them. On SQLite the
    // file is one station's: a renamed machine keeps its slots.
    const bool shared = SqlDialect::isPostgres(db);
    for (const char* table : {"dbPORTA", "dbPORTA_ATIVA"}) {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("UPDATE %1 SET ESTACAO = ? WHERE ESTACAO IS NULL%2")
                      .arg(QLatin1String(table), shared ? QString() : QStringLiteral(" OR ESTACAO <> ?")));
        q.addBindValue(station);
        if (!shared)
            q.addBindValue(station);
        if (!q.exec()) {
            if (error)
                *error = q.lastError().text();
            return false;
        }
    }
    return insertStationSlots(db, station, error);
}

namespace {

struct CfgColumn {
    const char* name;
    const char* statement;
    QVariant dflt;
};

void addCfgColumns(QSqlDatabase& db, UpgradeResult& r) {
    // The statements keep the original meaning; SQLite spells yes/no and TEXT(30) its own way.
    const CfgColumn cols[] = {
        {"TEMPO_EMAIL", "ALTER TABLE dbCFG ADD COLUMN TEMPO_EMAIL INTEGER", 5},
        {"TEMPO_SMS", "ALTER TABLE dbCFG ADD COLUMN TEMPO_SMS INTEGER", 5},
        {"SSL", "ALTER TABLE dbCFG ADD COLUMN SSL INTEGER NOT NULL DEFAULT 0", 1},
        {"METHODSLL", "ALTER TABLE dbCFG ADD COLUMN METHODSLL TEXT CHECK (length(METHODSLL) <= 30)", "sslvSSLv2"},
        {"MODO_SMS",
         "ALTER TABLE dbCFG ADD COLUMN MODO_SMS TEXT NOT NULL DEFAULT 'TEXTO' CHECK (MODO_SMS IN ('TEXTO', 'PDU'))",
         "TEXTO"},
        {"CONFIRMA_ENTREGA", "ALTER TABLE dbCFG ADD COLUMN CONFIRMA_ENTREGA INTEGER NOT NULL DEFAULT 0", 0},
        {"PALAVRAS_SAIR", "ALTER TABLE dbCFG ADD COLUMN PALAVRAS_SAIR TEXT", QString::fromUtf8(kPalavrasSairDefault)},
        {"RODAPE_SAIR", "ALTER TABLE dbCFG ADD COLUMN RODAPE_SAIR INTEGER NOT NULL DEFAULT 1", 1},
        {"ESPERA_REDE_S", "ALTER TABLE dbCFG ADD COLUMN ESPERA_REDE_S INTEGER NOT NULL DEFAULT 60", 60},
        {"CONFIRMA_SAIR", "ALTER TABLE dbCFG ADD COLUMN CONFIRMA_SAIR INTEGER NOT NULL DEFAULT 0", 0},
    };
    for (const CfgColumn& c : cols) {
        const QString name = QString::fromLatin1(c.name);
        if (hasColumn(db, "dbCFG", name))
            continue;
        QString err;
        r.executed << QString::fromLatin1(c.statement);
        bool ok = exec(db, QString::fromLatin1(c.statement), &err);
        if (ok) {
            QSqlQuery q(db);
            q.prepare(QStringLiteral("UPDATE dbCFG SET %1 = ?").arg(name));
            q.addBindValue(c.dflt);
            ok = q.exec();
            if (!ok)
                err = q.lastError().text();
        }
        if (!ok)
            r.warnings << QStringLiteral("Erro - Criando Coluna %1 = %2").arg(name, err);
    }
}

void addClienteColumns(QSqlDatabase& db, UpgradeResult& r) {
    QStringList names{"TEXTO"};
    for (int i = 0; i <= 9; ++i)
        names << QStringLiteral("TEXTO%1").arg(i);
    for (const QString& name : names) {
        if (hasColumn(db, "dbCLIENTE", name))
            continue;
        const QString sql =
            QStringLiteral("ALTER TABLE dbCLIENTE ADD COLUMN %1 TEXT CHECK (length(%1) <= 30)").arg(name);
        r.executed << sql;
        QString err;
        if (!exec(db, sql, &err))
            r.warnings << QStringLiteral("Erro - Criando Coluna %1 = %2").arg(name, err);
    }
}

// ENVIANDO: when the row's text went to a modem whose result is not stored yet (in flight).
void addMensagemColumns(QSqlDatabase& db, UpgradeResult& r) {
    if (!hasTable(db, "dbMENSAGEM") || hasColumn(db, "dbMENSAGEM", "ENVIANDO"))
        return;
    const QString sql = QStringLiteral("ALTER TABLE dbMENSAGEM ADD COLUMN ENVIANDO DATETIME");
    r.executed << sql;
    QString err;
    if (!exec(db, sql, &err))
        r.warnings << QStringLiteral("Erro - Criando Coluna ENVIANDO = %1").arg(err);
}

// Files made before PDU mode refuse an SMS text over 160 characters in the outbox and the SMS template; six
// concatenated parts need more. The table is rebuilt with the wider bound, its rows, keys and indexes kept.
void widenSmsTextColumns(QSqlDatabase& db, UpgradeResult& r) {
    const struct {
        const char* table;
        const char* column;
    } cols[] = {{"dbCFG", "BODY_SMS"}, {"dbMENSAGEM", "MENSAGEM"}};
    for (const auto& c : cols) {
        const QString table = QString::fromLatin1(c.table);
        const QString column = QString::fromLatin1(c.column);
        const int bound = TableRebuild::lengthBound(db, table, column);
        if (bound < 0 || bound >= kSmsColumnMaxChars)
            continue;
        r.executed << QStringLiteral("-- %1.%2: CHECK (length(%2) <= %3)").arg(table, column).arg(kSmsColumnMaxChars);
        const QString err = TableRebuild::widenLengthCheck(db, table, column, kSmsColumnMaxChars);
        if (!err.isEmpty())
            r.warnings << QStringLiteral("Erro - Ampliando Coluna %1 = %2").arg(column, err);
    }
}

// Columns added to a table in older files, each on its own: a failure is said and the next one is tried.
void addColumns(QSqlDatabase& db, const char* table, const QStringList& defs, UpgradeResult& r) {
    const QString t = QString::fromLatin1(table);
    if (!hasTable(db, t))
        return;
    for (const QString& def : defs) {
        const QString name = def.section(u' ', 0, 0);
        if (hasColumn(db, t, name))
            continue;
        const QString sql = QStringLiteral("ALTER TABLE %1 ADD COLUMN ").arg(t) + def;
        r.executed << sql;
        QString err;
        if (!exec(db, sql, &err))
            r.warnings << QStringLiteral("Erro - Criando Coluna %1 = %2").arg(name, err);
    }
}

// ENTREGUE: when the operator's message reached the phone (the last part's delivery); STATUS_ENTREGA: what the
// delivery reports said ("Entregue", "Pendente", "Falhou: ..."). Both empty for a message without reports.
// IMSI: the SIM that sent the SMS.
void addHistoricoColumns(QSqlDatabase& db, UpgradeResult& r) {
    addColumns(db, "dbHISTORICO", {"ENTREGUE DATETIME", "STATUS_ENTREGA TEXT", "IMSI TEXT"}, r);
}

void addPortaColumns(QSqlDatabase& db, UpgradeResult& r) {
    addColumns(db, "dbPORTA", portaModemColumns(), r);
    QSqlQuery q(db);
    if (!hasColumn(db, "dbPORTA", "PIN") ||
        (q.exec("SELECT 1 FROM sqlite_master WHERE name = 'TR_PORTA_PIN'") && q.next()))
        return;
    r.executed << QString::fromLatin1(kPinTrigger);
    QString err;
    if (!exec(db, QString::fromLatin1(kPinTrigger), &err))
        r.warnings << QStringLiteral("Erro - Criando Coluna PIN_RECUSADO = %1").arg(err);
}

bool hasIndex(QSqlDatabase& db, const QString& name) {
    QSqlQuery q(db);
    q.prepare("SELECT 1 FROM sqlite_master WHERE type = 'index' AND name = ?");
    q.addBindValue(name);
    return q.exec() && q.next();
}

// The table of awaited delivery reports and its indexes (each checked on its own, so that an upgrade stopped
// between them is finished at the next start); a failure stops the upgrade like the received-SMS tables.
bool addEntregaPendente(QSqlDatabase& db, UpgradeResult& r) {
    QStringList statements;
    if (!hasTable(db, "dbENTREGA_PENDENTE"))
        statements << dbEntregaPendenteDdl();
    for (const char* ix : kEntregaIndexes)
        if (!hasIndex(db, QString::fromLatin1(ix).section(u' ', 2, 2)))
            statements << QString::fromLatin1(ix);
    for (const QString& sql : statements) {
        r.executed << sql;
        if (!exec(db, sql, &r.fatalError))
            return false;
    }
    return true;
}

// The opt-out list and the mark of each received message; a file made before them gets both. Messages
// already stored are judged by the next opt-out pass (their mark is NULL).
void addOptOut(QSqlDatabase& db, UpgradeResult& r) {
    if (hasTable(db, "dbSMS") && !hasColumn(db, "dbSMS", "DESCADASTRO")) {
        const QString sql = QStringLiteral("ALTER TABLE dbSMS ADD COLUMN DESCADASTRO INTEGER");
        r.executed << sql;
        QString err;
        if (!exec(db, sql, &err))
            r.warnings << QStringLiteral("Erro - Criando Coluna DESCADASTRO = %1").arg(err);
    }
    if (!hasTable(db, "dbDESCADASTRO")) {
        r.executed << dbDescadastroDdl();
        exec(db, dbDescadastroDdl(), &r.fatalError);
        return;
    }
    // A list made before the confirmation SMS: its senders were never sent one.
    if (!hasColumn(db, "dbDESCADASTRO", "CONFIRMADO")) {
        const QString sql =
            QStringLiteral("ALTER TABLE dbDESCADASTRO ADD COLUMN CONFIRMADO INTEGER NOT NULL DEFAULT 0");
        r.executed << sql;
        QString err;
        if (!exec(db, sql, &err))
            r.warnings << QStringLiteral("Erro - Criando Coluna CONFIRMADO = %1").arg(err);
    }
}

} // namespace

const QStringList& shippedTables() {
    static const QStringList t{"dbGRUPO",    "dbCFG",   "dbCLIENTE",    "dbHISTORICO",
                               "dbMENSAGEM", "dbPORTA", "dbPORTA_ATIVA"};
    return t;
}

QStringList columns(const QSqlDatabase& db, const QString& table) {
    QStringList out;
    QSqlRecord rec = db.record(table);
    for (int i = 0; i < rec.count(); ++i)
        out << rec.fieldName(i);
    return out;
}

bool hasColumn(const QSqlDatabase& db, const QString& table, const QString& column) {
    return db.record(table).indexOf(column) >= 0;
}

bool hasTable(const QSqlDatabase& db, const QString& table) {
    QSqlQuery q(db);
    if (SqlDialect::isPostgres(db))
        q.prepare("SELECT 1 FROM pg_class c JOIN pg_namespace n ON n.oid = c.relnamespace WHERE n.nspname = "
                  "current_schema() AND c.relkind IN ('r', 'p', 'v', 'm', 'f') AND c.relname = lower(?)");
    else
        q.prepare("SELECT 1 FROM sqlite_master WHERE type IN ('table', 'view') AND name = ?");
    q.addBindValue(table);
    return q.exec() && q.next();
}

QString createFresh(QSqlDatabase& db) {
    QString err;
    if (!db.transaction())
        return db.lastError().text();
    for (const QString& sql : freshDdl()) {
        if (!exec(db, sql, &err)) {
            db.rollback();
            return err;
        }
    }
    if (!insertFirstRunRows(db, &err)) {
        db.rollback();
        return err;
    }
    if (!db.commit())
        return db.lastError().text();
    return {};
}

UpgradeResult upgrade(QSqlDatabase& db) {
    UpgradeResult r;
    addCfgColumns(db, r);
    addClienteColumns(db, r);
    addMensagemColumns(db, r);
    widenSmsTextColumns(db, r);
    if (!hasTable(db, "dbSMS")) {
        r.executed << dbSmsDdl();
        if (!exec(db, dbSmsDdl(), &r.fatalError))
            return r;
    }
    if (!hasTable(db, "dbSMS_BUFFER")) {
        r.executed << dbSmsBufferDdl();
        if (!exec(db, dbSmsBufferDdl(), &r.fatalError))
            return r;
    }
    addHistoricoColumns(db, r);
    addPortaColumns(db, r);
    addColumns(db, "dbPORTA", {kEstacaoColumn}, r);
    addColumns(db, "dbPORTA_ATIVA", {kEstacaoColumn}, r);
    addColumns(db, "dbHISTORICO", {kEstacaoColumn}, r);
    addEntregaPendente(db, r);
    addColumns(db, "dbENTREGA_PENDENTE", {entregaEstacaoColumn(), entregaFoneColumn()}, r);
    if (!hasTable(db, "dbSMS_PARTE")) {
        r.executed << dbSmsParteDdl();
        if (!exec(db, dbSmsParteDdl(), &r.fatalError))
            return r;
    }
    addOptOut(db, r);
    addColumns(db, "dbMENSAGEM", claimColumns(), r);
    if (!hasTable(db, "dbESTACAO")) {
        r.executed << dbEstacaoDdl();
        if (!exec(db, dbEstacaoDdl(), &r.fatalError))
            return r;
    }
    return r;
}

bool resetCounter(QSqlDatabase& db, const QString& table, QString* error) {
    if (SqlDialect::isPostgres(db))
        return PgSchema::resetCounter(db, table, error);
    // sqlite_sequence only exists once some AUTOINCREMENT table has had a row.
    if (!hasTable(db, "sqlite_sequence"))
        return true;
    QSqlQuery q(db);
    q.prepare("DELETE FROM sqlite_sequence WHERE name = ?");
    q.addBindValue(table);
    if (!q.exec()) {
        if (error)
            *error = q.lastError().text();
        return false;
    }
    return true;
}

} // namespace Schema
