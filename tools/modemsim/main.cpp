// vestral-modemsim: simulated GSM modems (text and PDU mode) on pseudo-terminals, linked as DIR/COM<n>.
#include "ModemSimulator.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <string>
#include <vector>

using namespace modemsim;

namespace {

const char* const kUsage =
    "uso: vestral-modemsim --dir DIR [opções]\n"
    "  --dir DIR              pasta onde ficam os links COM<n> (ex.: DADOS/portas)\n"
    "  --ports N              número de modems (4)\n"
    "  --first-com N          número COM do primeiro modem (1)\n"
    "  --csq [P:]V            valor de AT+CSQ (21)\n"
    "  --latency-ms [P:]MS    atraso de cada resposta (0)\n"
    "  --result-delay-ms [P:]MS  atraso só do resultado final de um envio (+CMGS: n / OK ou o erro);\n"
    "                         o prompt e as outras respostas vêm na hora (0)\n"
    "  --fail-number NUM      AT+CMGS para este número falha (repetível)\n"
    "  --fail-rate [P:]R      fração dos envios que falham (0..1)\n"
    "  --cms-error CODE       código das falhas; 0 responde apenas ERROR (500)\n"
    "  --silent-port P        o modem P nunca responde (repetível)\n"
    "  --garbage-port P       o modem P manda lixo antes de cada resposta (repetível)\n"
    "  --unplug-after P:K     o modem P desaparece após K mensagens\n"
    "  --replug-after-ms [P:]MS  o modem que desapareceu volta MS depois, recém-ligado (eco ligado, boot)\n"
    "  --replug-imsi P:IMSI   ... com outro SIM, deste IMSI\n"
    "  --inbox [P:]FILE       mensagens guardadas no modem P (1): linhas remetente<TAB>data<TAB>texto,\n"
    "                         data no formato aa/MM/dd,hh:mm:ss+zz, \\n no texto = quebra de linha;\n"
    "                         um texto maior que um SMS vira partes concatenadas (UCS-2 se preciso);\n"
    "                         PDU<TAB>HEX guarda a PDU (SMSC + TPDU) como está, listada no modo PDU\n"
    "  --text-only-port P     o modem P só aceita modo texto: AT+CMGF=0 responde ERROR (repetível)\n"
    "  --pdu-only-port P      o modem P só aceita modo PDU: AT+CMGF=1 responde ERROR (repetível)\n"
    "  --first-reference [P:]N  primeira referência de +CMGS (1); 255 volta a 0 no modo PDU\n"
    "  --report-delay-ms [P:]MS  atraso do relatório de entrega pedido na PDU (100; -1 = nunca)\n"
    "  --report-status [P:]S  TP-Status dos relatórios: 0 entregue, 0x20 pendente, 0x41/0x60 falha (0)\n"
    "  --report-no-smsc-port P   o +CDS do modem P vem sem o campo SMSC (repetível)\n"
    "  --report-stored-port P    o modem P guarda os relatórios e avisa com +CDSI (ler com AT+CMGR)\n"
    "  --refuse-cnmi [P:]PARAMS  AT+CNMI=PARAMS responde ERROR (ex.: 2,1,0,1,0; repetível)\n"
    "  --profile [P:]NOME     eco e linhas próprias de um fabricante: plain, huawei, zte, quectel,\n"
    "                         cinterion, mbm (ver README)\n"
    "  --noise [P:]LUGARES    onde o modem escreve linhas próprias, separados por vírgula: before-echo,\n"
    "                         inside-echo, after-prompt, before-ok, after-result, listing\n"
    "  --noise-line [P:]LINHA linha própria a escrever (repetível; ex.: ^RSSI:14)\n"
    "  --echo-lf-after-port P o LF depois do CR de um comando ecoa depois da resposta (repetível)\n"
    "  --double-echo-port P   cada comando ecoa duas vezes (repetível)\n"
    "  --bare-prompt-port P   o prompt é \">\" CR LF em vez de \"> \" (repetível)\n"
    "  --echo-ctrlz-port P    o Ctrl-Z do texto ou da PDU ecoa antes do resultado (repetível)\n"
    "  --not-support-port P   comandos desconhecidos respondem COMMAND NOT SUPPORT (repetível)\n"
    "  --keep-lf-port P       um LF logo após AT+CMGS=\"<número>\" CR é o primeiro caractere do texto\n"
    "  --sim-pin [P:]PIN      o SIM pede este PIN (+CPIN: SIM PIN); 3 erros bloqueiam (PUK)\n"
    "  --sim-puk-port P       o SIM do modem P está bloqueado (+CPIN: SIM PUK)\n"
    "  --sim-busy-ms [P:]MS   +CME ERROR: 14 por MS depois do PIN certo (0)\n"
    "  --no-smsc-port P       o SIM do modem P não tem centro de mensagens: +CMS ERROR: 330 até AT+CSCA\n"
    "  --register-after-ms [P:]MS  procura a rede (+CREG: 0,2) por MS depois de iniciar (0; -1 = nunca)\n"
    "  --denied-port P        registro na rede negado (+CREG: 0,3)\n"
    "  --refuse-identity [P:]CMD  AT<CMD> responde ERROR (ex.: +CGSN, +CIMI, +CCID; repetível)\n"
    "  --boot-ms [P:]MS       boot lento: nada responde por MS; depois RDY, +CPIN: READY, +QIND: SMS DONE\n"
    "  --transcript FILE      registra o tráfego (<-- recebido, --> enviado)\n"
    "  --seed N               semente das falhas aleatórias (1)\n"
    "Relatórios de entrega saem só com AT+CNMI de <ds> 1 (+CDS) ou 2 (+CDSI).\n"
    "Os links são removidos ao receber SIGTERM ou SIGINT.\n";

[[noreturn]] void usage(const std::string& error) {
    std::cerr << "vestral-modemsim: " << error << "\n" << kUsage;
    std::exit(2);
}

// "P:V" gives port P (1-based) the value; "V" alone gives every port the value (-1 here).
std::pair<int, std::string> portValue(const std::string& arg) {
    const auto colon = arg.find(':');
    if (colon == std::string::npos || colon == 0)
        return {-1, arg};
    try {
        return {std::stoi(arg.substr(0, colon)), arg.substr(colon + 1)};
    } catch (const std::exception&) {
        return {-1, arg};
    }
}

std::vector<StoredSms> readInbox(const std::string& path) {
    std::ifstream in(path);
    if (!in)
        usage("não foi possível ler " + path);
    return readInboxFile(in);
}

struct Parsed {
    SimulatorOptions options;
    int ports = 4;
    std::vector<std::pair<std::string, std::string>> perPort; // applied once the port count is known
};

int toInt(const std::string& text, const std::string& flag) {
    try {
        return std::stoi(text);
    } catch (const std::exception&) {
        usage("valor inválido para " + flag + ": " + text);
    }
}

// A whole number in decimal or 0x hexadecimal, nothing after it.
int toNumber(const std::string& text, const std::string& flag) {
    std::size_t used = 0;
    try {
        const int value = std::stoi(text, &used, 0);
        if (used == text.size())
            return value;
    } catch (const std::exception&) {
    }
    usage("valor inválido para " + flag + ": " + text);
}

// A delay in milliseconds: a whole number, not negative.
int toDelay(const std::string& text, const std::string& flag) {
    const int ms = toNumber(text, flag);
    if (ms < 0)
        usage("valor inválido para " + flag + ": " + text);
    return ms;
}

void applyPduOption(PortConfig& c, const std::string& flag, const std::string& value) {
    if (flag == "--text-only-port")
        c.modes = SmsModes::TextOnly;
    else if (flag == "--pdu-only-port")
        c.modes = SmsModes::PduOnly;
    else if (flag == "--first-reference")
        c.firstReference = toNumber(value, flag);
    else if (flag == "--report-delay-ms")
        c.reportDelayMs = toNumber(value, flag);
    else if (flag == "--report-status")
        c.reportStatus = toNumber(value, flag);
    else if (flag == "--report-no-smsc-port")
        c.reportSmsc = false;
    else if (flag == "--report-stored-port")
        c.reportStored = true;
    else if (flag == "--refuse-cnmi")
        c.refusedCnmi.insert(value);
}

// Echo variants and lines of the modem's own (Chatter); false when the flag is not one of them.
bool applyChatterOption(Chatter& c, const std::string& flag, const std::string& value) {
    if (flag == "--profile") {
        if (!chatterProfile(value, &c))
            usage("perfil desconhecido: " + value);
    } else if (flag == "--noise") {
        std::string rest = value + ",";
        for (std::size_t comma = rest.find(','); comma != std::string::npos; comma = rest.find(',')) {
            const std::string where = rest.substr(0, comma);
            rest.erase(0, comma + 1);
            bool* place = where == "before-echo"    ? &c.beforeEcho
                          : where == "inside-echo"  ? &c.insideEcho
                          : where == "after-prompt" ? &c.afterPrompt
                          : where == "before-ok"    ? &c.beforeOk
                          : where == "after-result" ? &c.afterResult
                          : where == "listing"      ? &c.inListing
                                                    : nullptr;
            if (!place)
                usage("lugar desconhecido em --noise: " + where);
            *place = true;
        }
    } else if (flag == "--noise-line") {
        c.lines.push_back(value);
    } else if (flag == "--echo-lf-after-port") {
        c.lfEchoAfterAnswer = true;
    } else if (flag == "--double-echo-port") {
        c.doubleEcho = true;
    } else if (flag == "--bare-prompt-port") {
        c.barePrompt = true;
    } else if (flag == "--echo-ctrlz-port") {
        c.echoCtrlZ = true;
    } else if (flag == "--not-support-port") {
        c.commandNotSupport = true;
    } else if (flag == "--keep-lf-port") {
        c.keepLfAfterCmgs = true;
    } else {
        return false;
    }
    return true;
}

// The SIM, the network and the identity (set-up at port open).
void applySimOption(PortConfig& c, const std::string& flag, const std::string& value) {
    if (flag == "--sim-pin")
        c.sim.pin = value;
    else if (flag == "--sim-puk-port")
        c.sim.puk = true;
    else if (flag == "--sim-busy-ms")
        c.sim.busyAfterPinMs = toNumber(value, flag);
    else if (flag == "--no-smsc-port")
        c.sim.smsc.clear();
    else if (flag == "--register-after-ms")
        c.sim.registerAfterMs = toNumber(value, flag);
    else if (flag == "--denied-port")
        c.sim.denied = true;
    else if (flag == "--refuse-identity")
        c.sim.refused.insert(value);
    else if (flag == "--boot-ms")
        c.sim.bootSilentMs = toNumber(value, flag);
    else
        applyPduOption(c, flag, value);
}

void applyPerPort(Parsed& p) {
    p.options.ports.assign(std::size_t(p.ports), PortConfig{});
    for (const auto& [flag, arg] : p.perPort) {
        const auto [port, value] = portValue(arg);
        if (port == 0 || port > p.ports)
            usage("porta fora do intervalo em " + flag + " " + arg);
        for (int i = 0; i < p.ports; ++i) {
            if (port > 0 && i != port - 1)
                continue;
            PortConfig& c = p.options.ports[std::size_t(i)];
            if (flag == "--csq")
                c.csq = toInt(value, flag);
            else if (flag == "--latency-ms")
                c.latencyMs = toInt(value, flag);
            else if (flag == "--result-delay-ms")
                c.resultDelayMs = toDelay(value, flag);
            else if (flag == "--fail-rate")
                c.failRate = std::atof(value.c_str());
            else if (flag == "--cms-error")
                c.cmsError = toInt(value, flag);
            else if (flag == "--fail-number")
                c.failNumbers.insert(value);
            else if (flag == "--silent-port")
                c.silent = true;
            else if (flag == "--garbage-port")
                c.garbage = true;
            else if (flag == "--unplug-after")
                c.unplugAfter = toInt(value, flag);
            else if (flag == "--replug-after-ms")
                c.replugAfterMs = toInt(value, flag);
            else if (flag == "--replug-imsi")
                c.replugImsi = value;
            else if (!applyChatterOption(c.chatter, flag, value))
                applySimOption(c, flag, value);
        }
    }
}

Parsed parse(int argc, char** argv) {
    Parsed p;
    std::string inbox;
    for (int i = 1; i < argc; ++i) {
        const std::string flag = argv[i];
        if (flag == "--help" || flag == "-h") {
            std::cout << kUsage;
            std::exit(0);
        }
        if (i + 1 >= argc)
            usage("falta o valor de " + flag);
        const std::string value = argv[++i];
        if (flag == "--dir")
            p.options.dir = value;
        else if (flag == "--ports")
            p.ports = toInt(value, flag);
        else if (flag == "--first-com")
            p.options.firstCom = toInt(value, flag);
        else if (flag == "--transcript")
            p.options.transcriptPath = value;
        else if (flag == "--seed")
            p.options.seed = unsigned(toInt(value, flag));
        else if (flag == "--inbox")
            inbox = value;
        else if (flag == "--silent-port" || flag == "--garbage-port" || flag == "--text-only-port" ||
                 flag == "--pdu-only-port" || flag == "--report-no-smsc-port" || flag == "--report-stored-port" ||
                 flag == "--echo-lf-after-port" || flag == "--double-echo-port" || flag == "--bare-prompt-port" ||
                 flag == "--echo-ctrlz-port" || flag == "--not-support-port" || flag == "--keep-lf-port" ||
                 flag == "--sim-puk-port" || flag == "--no-smsc-port" || flag == "--denied-port")
            p.perPort.emplace_back(flag, value + ":1");
        else if (flag == "--csq" || flag == "--latency-ms" || flag == "--result-delay-ms" || flag == "--fail-number" ||
                 flag == "--fail-rate" || flag == "--cms-error" || flag == "--unplug-after" ||
                 flag == "--first-reference" || flag == "--report-delay-ms" || flag == "--report-status" ||
                 flag == "--refuse-cnmi" || flag == "--profile" || flag == "--noise" || flag == "--noise-line" ||
                 flag == "--sim-pin" || flag == "--sim-busy-ms" || flag == "--register-after-ms" ||
                 flag == "--refuse-identity" || flag == "--boot-ms" || flag == "--replug-after-ms" ||
                 flag == "--replug-imsi")
            p.perPort.emplace_back(flag, value);
        else
            usage("opção desconhecida: " + flag);
    }
    if (p.options.dir.empty())
        usage("--dir é obrigatório");
    if (p.ports < 1 || p.ports > 64)
        usage("--ports deve estar entre 1 e 64");
    applyPerPort(p);
    if (!inbox.empty()) {
        auto [port, file] = portValue(inbox);
        port = port < 0 ? 1 : port;
        if (port < 1 || port > p.ports)
            usage("porta fora do intervalo em --inbox");
        p.options.ports[std::size_t(port - 1)].inbox = readInbox(file);
    }
    return p;
}

} // namespace

int main(int argc, char** argv) {
    Parsed parsed = parse(argc, argv);
    // The signals are taken by sigwait below; block them before the simulator's thread starts.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    ModemSimulator simulator(parsed.options);
    try {
        simulator.start();
    } catch (const std::exception& e) {
        std::cerr << "vestral-modemsim: " << e.what() << "\n";
        return 1;
    }
    for (int i = 0; i < simulator.portCount(); ++i)
        std::cout << simulator.linkPath(i) << " -> " << simulator.devicePath(i) << "\n";
    std::cout.flush();
    int received = 0;
    sigwait(&signals, &received);
    simulator.stop();
    return 0;
}
