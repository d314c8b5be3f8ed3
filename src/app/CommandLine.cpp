#include "app/CommandLine.h"

#include <QCoreApplication>
#include <QDir>

#include "app/DataFolderLock.h"
#include "app/VersionInfo.h"
#include "campaign/BuildOutboxCommand.h"
#include "contacts/ContactTransferCommand.h"
#include "history/HistoryReportCommand.h"
#include "mail/EmailCampaignCommand.h"
#include "modem/PortConfigurator.h"
#include "sms/ModemStation.h"
#include "sms/ProbeCommand.h"
#include "sms/SmsCommands.h"
#include "store/DataDir.h"
#include "store/Integrity.h"
#include "store/TADO.h"

namespace CommandLine {
namespace {

struct Command {
    const char* name;
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
    return withDatabase(
        p, err, [&](TADO* ado) { return HistoryReportCommand::run(ado, p.arguments, out, err); },
        TADO::Access::ReadOnly);
}

// Checks the file as it is, read-only: it neither creates, upgrades nor waits for the data folder.
int checkDb(const Parsed& p, QTextStream& out, QTextStream& err) {
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

int sendEmail(const Parsed& p, QTextStream& out, QTextStream& err) {
    return withDatabase(
        p, err, [&](TADO* ado) { return vestral::mail::EmailCampaignCommand::run(ado, p.arguments, out, err); });
}

int importContacts(const Parsed& p, QTextStream& out, QTextStream& err) {
    return withDatabase(p, err,
                        [&](TADO* ado) { return ContactTransferCommand::runImport(ado, p.arguments, out, err); });
}

int exportContacts(const Parsed& p, QTextStream& out, QTextStream& err) {
    return withDatabase(
        p, err, [&](TADO* ado) { return ContactTransferCommand::runExport(ado, p.arguments, out, err); },
        TADO::Access::ReadOnly);
}

int probe(const Parsed& p, QTextStream& out, QTextStream& err) {
    return withDatabase(p, err, [&](TADO* ado) { return ProbeCommand::run(ado, out, err); });
}

int demoPorts(const Parsed& p, QTextStream& out, QTextStream& err) {
    return withDatabase(p, err, [&](TADO* ado) { return ProbeCommand::demoPorts(ado, p.arguments, out, err); });
}

// The words after the command, without the program name and --data-dir.
QStringList commandOptions(const Parsed& p) {
    QStringList rest;
    const qsizetype at = p.arguments.indexOf(p.command);
    for (qsizetype i = at + 1; at >= 0 && i < p.arguments.size(); ++i) {
        if (p.arguments[i] == "--data-dir")
            ++i;
        else if (!p.arguments[i].startsWith("--data-dir="))
            rest << p.arguments[i];
    }
    return rest;
}

int buildOutbox(const Parsed& p, QTextStream& out, QTextStream& err) {
    return withDatabase(p, err, [&](TADO* ado) {
        ModemStation station(ado);
        PortConfigurator* ports = station.configurator();
        return BuildOutboxCommand::run(ado, {[ports] { return ports->openAll(); }, ports->verificaPortasFunction()},
                                       commandOptions(p), out, err);
    });
}

int sendOutbox(const Parsed& p, QTextStream& out, QTextStream& err) {
    const bool resend = p.arguments.contains(QStringLiteral("--resend-interrupted"));
    return withDatabase(p, err, [&](TADO* ado) { return SmsCommands::sendOutbox(ado, out, err, resend); });
}

int receiveSms(const Parsed& p, QTextStream& out, QTextStream& err) {
    return withDatabase(p, err, [&](TADO* ado) { return SmsCommands::receiveSms(ado, out, err); });
}

// One line per command; each subsystem adds its own here.
const Command kCommands[] = {
    {"--help", "mostra esta ajuda", nullptr},
    {"--version", "mostra a versão", nullptr},
    {"--init-db", "abre o banco de dados, criando-o ou atualizando-o", initDb},
    {"--report",
     "ARQUIVO.pdf [--full] [--from DD/MM/AAAA] [--to DD/MM/AAAA] [--outcome all|sent|failed] "
     "[--channel all|sms|email]: grava o relatório do histórico em PDF",
     report},
    {"--send-email",
     "[--group NOME] [--status all|active|disabled] [--external]: envia o e-mail a cada destinatário "
     "(Cadastro Local ou Integração com --external) e mostra as linhas de status",
     sendEmail},
    {"--import", "ARQUIVO --group NOME: importa cada linha da planilha (.xls, .xlsx, .csv) como contato do grupo",
     importContacts},
    {"--export", "ARQUIVO.xls|ARQUIVO.xlsx: exporta todos os contatos para a planilha", exportContacts},
    {"--build-outbox",
     "[--group NOME] [--status all|active|disabled]: abre as portas, marca os contatos filtrados e monta a "
     "Caixa de Saída",
     buildOutbox},
    {"--send-outbox",
     "[--resend-interrupted]: abre as portas e envia a Caixa de Saída, mostrando as linhas de envio "
     "(--resend-interrupted envia de novo as mensagens de envios interrompidos)",
     sendOutbox},
    {"--receive-sms", "abre as portas e lê os SMS recebidos pelo modem da entrada 1 (RECEBER SMS)", receiveSms},
    {"--probe",
     "abre e testa (AT+CSQ) as entradas ativas como \"Abrir todas as Portas\"; uma linha por entrada: "
     "PRONTA <sinal>%, SEM RESPOSTA ou FECHADA: <motivo>",
     probe},
    {"--demo-ports", "[N]: ativa as entradas 1 a N (4) nas portas COM1 a COMN, para modems simulados", demoPorts},
    {"--check-db", "verifica a integridade do banco de dados: \"ok\", ou os problemas encontrados", checkDb},
};

const Command* find(const QString& name) {
    for (const Command& c : kCommands)
        if (name == QLatin1String(c.name))
            return &c;
    return nullptr;
}

} // namespace

Parsed parse(const QStringList& arguments) {
    Parsed p;
    p.arguments = arguments;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a == "--data-dir") {
            if (i + 1 >= arguments.size()) {
                p.error = "--data-dir precisa de uma pasta";
                return p;
            }
            p.dataDir = arguments[++i];
        } else if (a.startsWith("--data-dir=")) {
            p.dataDir = a.mid(11);
        } else if (find(a)) {
            if (!p.command.isEmpty() && p.command != a) {
                p.error = "apenas um comando por vez: " + p.command + " e " + a;
                return p;
            }
            p.command = a;
        } else if (p.command.isEmpty() && a.startsWith("-")) {
            p.error = "opção desconhecida: " + a;
            return p;
        }
    }
    return p;
}

bool takesLock(const QString& command) {
    static const QStringList readOnly{"--help", "--version", "--report", "--export", "--check-db"};
    return !readOnly.contains(command);
}

QString helpText() {
    QString t = "Uso: vestral-sms [--data-dir PASTA] [COMANDO]\n"
                "Sem comando, abre a janela do VESTRAL SMS.\n\nComandos:\n";
    for (const Command& c : kCommands)
        t += QStringLiteral("  %1  %2\n").arg(QString::fromLatin1(c.name), -12).arg(QString::fromUtf8(c.help));
    return t;
}

int run(const Parsed& parsed, QTextStream& out, QTextStream& err) {
    if (!parsed.error.isEmpty()) {
        err << parsed.error << Qt::endl << helpText();
        return 2;
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
    return c->run(parsed, out, err);
}

} // namespace CommandLine
