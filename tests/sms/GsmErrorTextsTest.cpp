#include "sms/GsmErrorTexts.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>

namespace {

struct TextCase {
    const char* table;
    int code;
    const char* text;
};

QString textFor(const TextCase& c) {
    return QStringLiteral("CME") == QLatin1String(c.table) ? GetCmeErrorText(c.code) : GetCmsErrorText(c.code);
}

const TextCase kCases[] = {
    {"CME", 0, "Falha telefone"},           {"CME", 10, "SIM não está inserido"},
    {"CME", 3, "Operação não permitida"},   {"CME", 24, "Seqüência de texto muito longo"},
    {"CME", 100, "Erro desconhecido"},      {"CME", 99, "Erro desconhecido!"},
    {"CME", 772, "SIM desligado"},          {"CME", 773, "Erro desconhecido!"},
    {"CME", -1, "Erro desconhecido!"},      {"CME", std::numeric_limits<int>::min(), "Erro desconhecido!"},
    {"CMS", 0, "Erro desconhecido!"},       {"CMS", 111, "Erro de protocolo, não especificada"},
    {"CMS", 302, "Operação não permitida"}, {"CMS", 310, "SIM não está inserido"},
    {"CMS", 500, "Erro desconhecido"},      {"CMS", 518, "Parâmetro inválido"},
    {"CMS", 538, "Parâmetro inválido"},     {"CMS", 539, "Erro desconhecido!"},
    {"CMS", -500, "Erro desconhecido!"},    {"CMS", std::numeric_limits<int>::max(), "Erro desconhecido!"},
};

} // namespace

TEST(GsmErrorTexts, CodesGiveTheirTexts) {
    for (const TextCase& c : kCases)
        EXPECT_EQ(textFor(c), QString::fromUtf8(c.text)) << c.table << " " << c.code;
}

TEST(GsmErrorTexts, TablesHoldEveryListedCode) {
    int cme = 0;
    int cms = 0;
    const QString unknown = QStringLiteral("Erro desconhecido!");
    for (int code = -10; code <= 1000; ++code) {
        cme += GetCmeErrorText(code) != unknown;
        cms += GetCmsErrorText(code) != unknown;
    }
    EXPECT_EQ(cme, 60);
    EXPECT_EQ(cms, 66);
}
