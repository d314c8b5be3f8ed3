#include "sms/GsmErrorTexts.h"

#include <map>

namespace {

const char* const kUnknown = "Erro desconhecido!";

const std::map<int, const char*>& cmeTable() {
    static const std::map<int, const char*> table = {
        {0, "Falha telefone"},
        {1, "Sem conexão com telefone"},
        {2, "Ligação adaptador de telefone reservados"},
        {3, "Operação não permitida"},
        {4, "Operação não suportada"},
        {5, "PH_SIM PIN necessário"},
        {6, "PH_FSIM PIN necessário"},
        {7, "PH_FSIM PUK necessário"},
        {10, "SIM não está inserido"},
        {11, "SIM PIN necessário"},
        {12, "SIM PUK necessário"},
        {13, "Falha SIM"},
        {14, "SIM ocupado"},
        {15, "SIM errado"},
        {16, "Senha incorreta"},
        {17, "SIM PIN2 necessário"},
        {18, "SIM PUK2 necessário"},
        {20, "Memória cheia"},
        {21, "Índice inválido"},
        {22, "Não foi encontrado"},
        {23, "Falha de memória"},
        {24, "Seqüência de texto muito longo"},
        {25, "Caracteres inválidos em seqüência de texto"},
        {26, "Disque cadeia muito longa"},
        {27, "Caracteres inválidos na seqüência de discagem"},
        {30, "No serviço de rede"},
        {31, "Tempo limite da rede"},
        {32, "Rede não permitidos, apenas chamadas de emergência"},
        {40, "PIN personalização de rede necessária"},
        {41, "Rede de personalização PUK necessário"},
        {42, "Rede subconjunto PIN personalização necessário"},
        {43, "Rede subconjunto personalização PUK necessário"},
        {44, "Prestador de serviços de personalização PIN necessário"},
        {45, "Prestador de serviços de personalização PUK necessário"},
        {46, "PIN personalização corporativa exigido"},
        {47, "Corporativo personalização PUK necessário"},
        {48, "PH-SIM PUK necessária"},
        {100, "Erro desconhecido"},
        {103, "Ilegal MS"},
        {106, "Ilegal ME"},
        {107, "Serviços GPRS não permitido"},
        {111, "PLMN não permitido"},
        {112, "Área local não permitido"},
        {113, "Roaming não é permitido nesta área local"},
        {126, "Operação temporária não é permitido"},
        {132, "Operação de serviço não é suportado"},
        {133, "Opção de serviço solicitado não subscritas"},
        {134, "Serviço opção temporariamente fora de ordem"},
        {148, "Erro GPRS indeterminado"},
        {149, "Falha de autenticação PDP"},
        {150, "Inválido classe móvel"},
        {256, "Operação temporariamente não é permitido"},
        {257, "Chamada proibida"},
        {258, "Telefone está ocupado"},
        {259, "Usuário abortar"},
        {260, "String de discagem inválida"},
        {261, "SS não executado"},
        {262, "SIM Bloqueado"},
        {263, "bloco inválido"},
        {772, "SIM desligado"},
    };
    return table;
}

const std::map<int, const char*>& cmsTable() {
    static const std::map<int, const char*> table = {
        {111, "Erro de protocolo, não especificada"},
        {127, "Internetworking, não especificada"},
        {128, "Telemática internetworking não suportada"},
        {129, "Mensagem curta tipo 0 não é suportado"},
        {130, "Não pode substituir uma mensagem curta"},
        {143, "Erro não especificado TP-PID"},
        {144, "Sistema de código de dados não é suportada"},
        {145, "Classe de mensagem não é suportada"},
        {159, "Erro não especificado TP-DCS"},
        {160, "O comando não pode ser acionado"},
        {161, "Comando não suportado"},
        {175, "Erro não especificado TP-Command"},
        {176, "TPDU não suportada"},
        {192, "SC ocupado"},
        {193, "Sem assinatura SC"},
        {194, "Falha do sistema SC"},
        {195, "Endereço SME inválido"},
        {196, "Destino SME barrado"},
        {197, "SM Rejeitado-Duplicate SM"},
        {198, "TP-VPF não suportada"},
        {199, "TP-VP não é suportado"},
        {208, "D0 SIM SMS Storage completo"},
        {209, "Sem capacidade de armazenamento SMS no SIM"},
        {210, "Erro no MS"},
        {211, "A capacidade de memória excedida"},
        {212, "Sim aplicação kit de ferramentas ocupado"},
        {213, "Erro de download de dados SIM"},
        {255, "Causa do erro não especificado"},
        {300, "ME Fracasso"},
        {301, "Serviço de SMS do ME reservados"},
        {302, "Operação não permitida"},
        {303, "Operação não suportada"},
        {304, "Parâmetro de modo inválido PDU"},
        {305, "Parâmetro modo de texto inválido"},
        {310, "SIM não está inserido"},
        {311, "SIM PIN necessário"},
        {312, "PH-SIM PIN necessário"},
        {313, "falha SIM"},
        {314, "SIM ocupado"},
        {315, "SIM errado"},
        {316, "SIM PUK necessário"},
        {317, "SIM PIN2 necessário"},
        {318, "SIM PUK2 necessário"},
        {320, "falha de memória"},
        {321, "Índice de memória inválido"},
        {322, "memória cheia"},
        {330, "Endereço desconhecido SMSC"},
        {331, "No serviço de rede"},
        {332, "Tempo limite da rede"},
        {340, "Não + CNMA esperado"},
        {500, "Erro desconhecido"},
        {512, "Usuário abortar"},
        {513, "Incapaz de armazenar"},
        {514, "Estado inválido"},
        {515, "Dispositivo Character ocupado ou inválido em cadeia"},
        {516, "Comprimento inválido"},
        {517, "Inválido caracteres em PDU"},
        {518, "Parâmetro inválido"},
        {519, "Comprimento ou caractere inválido"},
        {520, "Inválido caracteres em text"},
        {521, "Temporizador expirou"},
        {522, "Operação temporária não é permitido"},
        {532, "SIM não está pronto"},
        {534, "Cell Broadcast erro desconhecido"},
        {535, "Pilha de protocolos ocupado"},
        {538, "Parâmetro inválido"},
    };
    return table;
}

QString lookup(const std::map<int, const char*>& table, int code) {
    const auto it = table.find(code);
    return QString::fromUtf8(it == table.end() ? kUnknown : it->second);
}

} // namespace

QString GetCmeErrorText(int code) {
    return lookup(cmeTable(), code);
}

QString GetCmsErrorText(int code) {
    return lookup(cmsTable(), code);
}
