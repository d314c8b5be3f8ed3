#include "app/CommandLine.h"

#include <QCoreApplication>
#include <QDir>
#include <optional>

#include "app/DataFolderLock.h"
#include "app/VersionInfo.h"
#include "campaign/BuildOutboxCommand.h"
#include "contacts/ContactTransferCommand.h"
#include "history/HistoryReportCommand.h"
#include "mail/EmailCampaignCommand.h"
#include "modem/PortConfigurator.h"
#include "modem/PortSlot.h"
#include "optout/OptOutCommand.h"
#include "sms/ModemStation.h"
#include "sms/ProbeCommand.h"
#include "sms/SmsCommands.h"
#include "store/DataDir.h"
#include "store/Integrity.h"
#include "store/PgCopy.h"
#include "store/PgSchema.h"
#include "store/Schema.h"
#include "store/StationList.h"
#include "store/StationRegistry.h"
#include "store/StoreLocation.h"
#include "store/StoreLock.h"
#include "store/TADO.h"

namespace CommandLine {
namespace {

struct Command {
    CommandSpec decl;
    const char* help;
    int (*run)(const Parsed&, QTextStream&, QTextStream&);
};

int openDatabase(const Parsed& p, QTextStream& out, QTextStream& err) {
    TADO ado;
    TADO::StartResult r = ado.start(p.dataDir);
    for (const QString& w : std::as_const(r.warnings))
        out << w << Qt::endl;
    if (!r.ok) {
        err << QString(r.error).replace('\r', '\n') << Qt::endl;
        return 1;
    }
    return 0;
}

int initDb(const Parsed& p, QTextStream& out, QTextStream& err) {
    return openDatabase(p, out, err);
}

// Opens the database (or prints why it cannot) and runs one command's engine on it.
template <typename Fn>
int withDatabase(const Parsed& p, QTextStream& err, Fn run, TADO::Access access = TADO::Access::ReadWrite) {
    TADO ado;
    TADO::StartResult r = ado.start(p.dataDir, access);
    if (!r.ok) {
        err << QString(r.error).replace('\r', '\n') << Qt::endl;
        return 1;
    }
    return run(&ado);
}

int report(const Parsed& p, QTextStream& out, QTextStream& err) {
    HistoryReportCommand::Request r;
    r.file = p.values.argument().toString();
    r.form = p.values.isSet("full") ? HistoryReport::Form::Completo : HistoryReport::Form::Resumido;
    r.filter.outcome = HistorySearch::Outcome(p.values.choice("outcome", int(r.filter.outcome)));
    r.filter.channel = HistorySearch::Channel(p.values.choice("channel", int(r.filter.channel)));
    HistoryReportCommand::setPeriod(&r.filter, p.values.date("from"), p.values.date("to"));
    return withDatabase(
        p, err, [&](TADO* ado) { return HistoryReportCommand::run(ado, r, out, err); }, TADO::Access::ReadOnly);
}

// A connection of a command's own, removed when the command ends.
struct OwnConnection {
    QString name;
    ~OwnConnection() {
        if (!name.isEmpty())
            QSqlDatabase::removeDatabase(name);
    }
};

// The PostgreSQL store as it is, read-only: the connection, the schema version, each table answering.
int checkServer(const StoreLocation& store, QTextStream& out, QTextStream& err) {
    OwnConnection own{QStringLiteral("vestral-check-db")};
    QString error;
    {
        QSqlDatabase db = PgSchema::connect(store, own.name, &error);
        if (!error.isEmpty()) {
            err << error << Qt::endl;
            return 1;
        }
        out << QStringLiteral("conexão: ok (%1)").arg(store.shown()) << Qt::endl;
        bool ok = false;
        for (const QString& line : PgSchema::check(db, &ok))
            out << line << Qt::endl;
        if (!ok)
            return 1;
    }
    out << "ok" << Qt::endl;
    return 0;
}

// Checks the file as it is, read-only: it neither creates, upgrades nor waits for the data folder.
int checkDb(const Parsed& p, QTextStream& out, QTextStream& err) {
    if (StoreLocation::current().isPostgres())
        return checkServer(StoreLocation::current(), out, err);
    const QStringList problems = Integrity::check(DataDir::databasePath(p.dataDir), true);
    if (problems.isEmpty()) {
        out << "ok" << Qt::endl;
        return 0;
    }
    for (const QString& problem : problems)
        out << problem << Qt::endl;
    err << QString(Integrity::adviceText()).replace('\r', '\n') << Qt::endl;
    return 1;
}

// The stations sharing the store, one line each; reads only, takes no lock.
int stations(const Parsed& p, QTextStream& out, QTextStream& err) {
    return withDatabase(
        p, err,
        [&](TADO* ado) {
            QList<StationList::Row> rows;
            QString error;
            if (!StationList::read(ado->database(), &rows, &error)) {
                err << QStringLiteral("A tabela de estações não pôde ser lida: %1").arg(error) << Qt::endl;
                return 1;
            }
            for (const StationList::Row& r : std::as_const(rows))
                out << StationList::line(r) << Qt::endl;
            return 0;
        },
        TADO::Access::ReadOnly);
}

// Copies the station's SQLite file (upgraded to the current schema first) into an empty PostgreSQL
// database, in one transaction: every table with its keys, a line per table; nothing left on a failure.
int copyDbTo(const Parsed& p, QTextStream& out, QTextStream& err) {
    QString error;
    const StoreLocation target = StoreLocation::parse(p.values.argument().toString(), &error);
    if (!error.isEmpty()) {
        err << error << Qt::endl;
        return 2;
    }
    TADO ado;
    ado.setStore(StoreLocation{});
    const TADO::StartResult r = ado.start(p.dataDir);
    if (!r.ok) {
        err << QString(r.error).replace('\r', '\n') << Qt::endl;
        return 1;
    }
    OwnConnection own{QStringLiteral("vestral-copy-db")};
    QSqlDatabase source = ado.database();
    QSqlDatabase db = PgSchema::connect(target, own.name, &error);
    if (!error.isEmpty()) {
        err << error << Qt::endl;
        return 1;
    }
    const PgCopy::Result copied = PgCopy::copy(source, db, [&](const QString& line) { out << line << Qt::endl; });
    db.close();
    if (!copied.error.isEmpty()) {
        err << QStringLiteral("A cópia para %1 falhou e nada foi gravado lá: %2").arg(target.shown(), copied.error)
            << Qt::endl;
        return 1;
    }
    out << QStringLiteral("Cópia concluída: %1 linhas em %2 tabelas.").arg(copied.rows).arg(copied.counts.size())
        << Qt::endl;
    return 0;
}

int sendEmail(const Parsed& p, QTextStream& out, QTextStream& err) {
    vestral::mail::EmailCampaignCommand::Request r;
    if (p.values.isSet("group"))
        r.group = p.values.text("group");
    r.status = p.values.choice("status", r.status);
    r.external = p.values.isSet("external");
    r.filterGiven = p.values.isSet("group") || p.values.isSet("status");
    return withDatabase(p, err, [&](TADO* ado) { return vestral::mail::EmailCampaignCommand::run(ado, r, out, err); });
}

int importContacts(const Parsed& p, QTextStream& out, QTextStream& err) {
    const ContactTransferCommand::Request r{p.values.argument().toString(), p.values.text("group")};
    return withDatabase(p, err, [&](TADO* ado) { return ContactTransferCommand::runImport(ado, r, out, err); });
}

int exportContacts(const Parsed& p, QTextStream& out, QTextStream& err) {
    const ContactTransferCommand::Request r{p.values.argument().toString(), {}};
    return withDatabase(
        p, err, [&](TADO* ado) { return ContactTransferCommand::runExport(ado, r, out, err); }, TADO::Access::ReadOnly);
}

int modems(const Parsed& p, QTextStream& out, QTextStream& err) {
    return withDatabase(p, err, [&](TADO* ado) { return ProbeCommand::modems(ado, out, err); });
}

int probe(const Parsed& p, QTextStream& out, QTextStream& err) {
    return withDatabase(p, err, [&](TADO* ado) { return ProbeCommand::run(ado, out, err); });
}

int demoPorts(const Parsed& p, QTextStream& out, QTextStream& err) {
    const int count = p.values.argument().isNull() ? ProbeCommand::kDemoPorts : p.values.argument().toInt();
    return withDatabase(p, err, [&](TADO* ado) { return ProbeCommand::demoPorts(ado, count, out, err); });
}

int buildOutbox(const Parsed& p, QTextStream& out, QTextStream& err) {
    BuildOutboxCommand::Request r;
    if (p.values.isSet("group"))
        r.group = p.values.text("group");
    r.status = p.values.choice("status", r.status);
    return withDatabase(p, err, [&](TADO* ado) {
        ModemStation station(ado);
        PortConfigurator* ports = station.configurator();
        return BuildOutboxCommand::run(ado, {[ports] { return ports->openAll(); }, ports->verificaPortasFunction()}, r,
                                       out, err);
    });
}

int sendOutbox(const Parsed& p, QTextStream& out, QTextStream& err) {
    const bool resend = p.values.isSet("resend-interrupted");
    return withDatabase(p, err, [&](TADO* ado) { return SmsCommands::sendOutbox(ado, out, err, resend); });
}

int receiveSms(const Parsed& p, QTextStream& out, QTextStream& err) {
    return withDatabase(p, err, [&](TADO* ado) { return SmsCommands::receiveSms(ado, out, err); });
}

int optOutAdd(const Parsed& p, QTextStream& out, QTextStream& err) {
    return withDatabase(p, err, [&](TADO* ado) {
        return OptOutCommand::add(ado, p.values.argument().toString(), p.values.text("note"), out, err);
    });
}

int optOutRemove(const Parsed& p, QTextStream& out, QTextStream& err) {
    return withDatabase(
        p, err, [&](TADO* ado) { return OptOutCommand::remove(ado, p.values.argument().toString(), out, err); });
}

int optOutList(const Parsed& p, QTextStream& out, QTextStream& err) {
    return withDatabase(
        p, err, [&](TADO* ado) { return OptOutCommand::list(ado, out, err); }, TADO::Access::ReadOnly);
}

ValueSpec address() {
    return {QString(), ValueKind::Text, QStringLiteral("NUMERO|EMAIL"), {}, 0, 0, true};
}

ValueSpec file(const QString& valueName) {
    return {QString(), ValueKind::File, valueName, {}, 0, 0, true};
}

CommandSpec command(const QString& name, const QList<ValueSpec>& options = {},
                    const std::optional<ValueSpec>& argument = std::nullopt, int usageExitCode = 2) {
    return {name, options, argument, usageExitCode};
}

ValueSpec required(ValueSpec option) {
    option.required = true;
    return option;
}

const QStringList kStatuses{"all", "active", "disabled"}; // in the order of TDM::Status

// Each command with its options, its word and the exit code of its usage errors, as the README's
// table has them; --help is written from this list. Each subsystem adds its own here.
const QList<Command>& commands() {
    static const QList<Command> list{
        {command("help"), "mostra esta ajuda", nullptr},
        {command("version"), "mostra a versão", nullptr},
        {command("init-db"), "abre o banco de dados, criando-o ou atualizando-o", initDb},
        {command("report",
                 {flag("full"), date("from"), date("to"), choice("outcome", {"all", "sent", "failed"}),
                  choice("channel", {"all", "sms", "email"})},
                 file("ARQUIVO.pdf")),
         "grava o relatório do histórico em PDF", report},
        {command("send-email", {text("group", "NOME"), choice("status", kStatuses), flag("external")}),
         "envia o e-mail a cada destinatário (Cadastro Local ou Integração com --external) e mostra as linhas de "
         "status",
         sendEmail},
        {command("import", {required(text("group", "NOME"))}, file("ARQUIVO")),
         "importa cada linha da planilha (.xls, .xlsx, .csv) como contato do grupo", importContacts},
        {command("export", {}, file("ARQUIVO.xls|ARQUIVO.xlsx")), "exporta todos os contatos para a planilha",
         exportContacts},
        {command("build-outbox", {text("group", "NOME"), choice("status", kStatuses)}, std::nullopt, 1),
         "abre as portas, marca os contatos filtrados e monta a Caixa de Saída", buildOutbox},
        {command("send-outbox", {flag("resend-interrupted")}),
         "abre as portas e envia a Caixa de Saída, mostrando as linhas de envio (--resend-interrupted envia de novo "
         "as mensagens de envios interrompidos)",
         sendOutbox},
        {command("receive-sms"), "abre as portas e lê os SMS recebidos pelo modem da entrada 1 (RECEBER SMS)",
         receiveSms},
        {command("probe"),
         "abre e testa (AT+CSQ) as entradas ativas como \"Abrir todas as Portas\"; uma linha por entrada: "
         "PRONTA <sinal>%, SEM RESPOSTA ou FECHADA: <motivo>",
         probe},
        {command("modems"),
         "abre as entradas ativas com a configuração dos modems (PIN, rede, centro de mensagens) e mostra uma linha "
         "por entrada: PRONTA ou NÃO PRONTA, sinal, rede, PIN, IMSI, ICCID, modelo e SMS enviados hoje / limite "
         "diário; sai com 0 se todas estão prontas, 2 se nenhuma, 1 nos outros casos",
         modems},
        {command("demo-ports", {}, ValueSpec{QString(), ValueKind::Count, "N", {}, 1, PortSlots::kCount, false}, 1),
         "ativa as entradas 1 a N (4) nas portas COM1 a COMN, para modems simulados", demoPorts},
        {command("opt-out-add", {text("note", "TEXTO")}, address()),
         "põe o número ou e-mail na lista de descadastrados (não recebe mais mensagens) e desativa os contatos dele",
         optOutAdd},
        {command("opt-out-remove", {}, address()),
         "tira o número ou e-mail da lista de descadastrados (fica no histórico); 1 quando não está na lista",
         optOutRemove},
        {command("opt-out-list"), "mostra a lista de descadastrados, uma linha por endereço", optOutList},
        {command("check-db"), "verifica a integridade do banco de dados: \"ok\", ou os problemas encontrados", checkDb},
        {command("stations"), "lista as estações do banco de dados: batida, entradas prontas, em envio, enviadas",
         stations},
        {command("copy-db-to", {}, ValueSpec{QString(), ValueKind::Text, "URL", {}, 0, 0, true}),
         "copia o banco SQLite da estação para um banco PostgreSQL vazio (postgresql://USUÁRIO@SERVIDOR:PORTA/BANCO)",
         copyDbTo},
    };
    return list;
}

const Command* find(const QString& name) {
    for (const Command& c : commands())
        if (name == QString(QStringLiteral("--") + c.decl.name))
            return &c;
    return nullptr;
}

} // namespace

Parsed parse(const QStringList& arguments) {
    QList<CommandSpec> specs{CommandSpec{}}; // no command: the window, which has no options of its own
    for (const Command& c : commands())
        specs << c.decl;
    return read(arguments, specs);
}

bool takesLock(const QString& command) {
    static const QStringList readOnly{"--help",     "--version",      "--report",  "--export",
                                      "--check-db", "--opt-out-list", "--stations"};
    return !readOnly.contains(command);
}

QString helpText() {
    QString t = "Uso: vestral-sms [--data-dir PASTA] [--database URL] [--station NOME] [COMANDO]\n"
                "Sem comando, abre a janela do VESTRAL SMS.\n\nComandos:\n";
    for (const Command& c : commands()) {
        const QString words = synopsis(c.decl);
        const QString help = QString::fromUtf8(c.help);
        const QString text = words.isEmpty() ? help : QString(words + QStringLiteral(": ") + help);
        t += QStringLiteral("  %1  %2\n").arg(QString(QStringLiteral("--") + c.decl.name), -12).arg(text);
    }
    return t;
}

int run(const Parsed& parsed, QTextStream& out, QTextStream& err) {
    if (!parsed.error.isEmpty()) {
        err << parsed.error << Qt::endl;
        return parsed.usageExitCode;
    }
    if (parsed.command == "--help") {
        out << helpText();
        return 0;
    }
    if (parsed.command == "--version") {
        out << VersionInfo::title() << Qt::endl;
        return 0;
    }
    const Command* c = find(parsed.command);
    if (!c || !c->run)
        return 2;
    DataFolderLock lock(parsed.dataDir.isEmpty() ? DataDir::current() : parsed.dataDir);
    if (takesLock(parsed.command) && !lock.tryLock()) {
        err << lock.message() << Qt::endl;
        return 1;
    }
    StoreLock storeLock(StoreLocation::current());
    if (takesLock(parsed.command) && !storeLock.tryLock()) {
        err << storeLock.message() << Qt::endl;
        return 1;
    }
    if (!storeLock.notice().isEmpty())
        err << storeLock.notice() << Qt::endl;
    // The station's row and heartbeat while a command that works on the store runs.
    std::optional<StationRegistry> registry;
    if (takesLock(parsed.command)) {
        registry.emplace(StoreLocation::current(), parsed.dataDir.isEmpty() ? DataDir::current() : parsed.dataDir,
                         VersionInfo::current());
        registry->start();
    }
    return c->run(parsed, out, err);
}

} // namespace CommandLine
