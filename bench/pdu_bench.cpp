// PDU encoding figures: N merged texts of 300 characters (half in the GSM alphabet with a few extension
// characters, half Portuguese with "ã", "õ", "ç", so UCS-2), each encoded into its SMS-SUBMIT parts, against a
// baseline in the same run: the same texts only converted to UTF-8 and hex.
// Usage: pdu_bench [N]
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "sms/PduEncoder.h"

namespace {

QStringList mergedTexts(int n) {
    const QString gsm = QStringLiteral("Ola %1, seu saldo e R$ %2,00 {ref. [%3]}. Pague ate o dia 10 e ganhe 5% de "
                                       "desconto. Duvidas? Ligue 0800 123 4567 ou responda esta mensagem. ");
    const QString pt = QStringLiteral("Olá %1, sua fatura de R$ %2,00 (ref. %3) vence amanhã. Não perca: "
                                      "promoção de verão, condições especiais e atenção às ofertas. ");
    QStringList texts;
    texts.reserve(n);
    for (int i = 0; i < n; ++i) {
        const QString name = QStringLiteral("Contato %1 Souza").arg(i, 6, 10, QLatin1Char('0'));
        QString t = (i % 2 ? pt : gsm).arg(name).arg(i % 997).arg(i * 7);
        while (t.size() < 300)
            t += t;
        t.truncate(300);
        texts.append(t);
    }
    return texts;
}

double ms(const QElapsedTimer& t) {
    return double(t.nsecsElapsed()) / 1e6;
}

// CPU time of this thread, ms: on a machine shared with other builds the wall time mostly measures the queue.
double cpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int n = argc > 1 ? std::atoi(argv[1]) : 100000;
    const QStringList texts = mergedTexts(n);

    QElapsedTimer t;
    t.start();
    double cpu = cpuMs();
    qsizetype baselineBytes = 0;
    for (const QString& text : texts)
        baselineBytes += text.toUtf8().toHex().size();
    const double baseline = ms(t);
    const double baselineCpu = cpuMs() - cpu;

    t.restart();
    cpu = cpuMs();
    long long parts = 0;
    long long hexBytes = 0;
    for (int i = 0; i < texts.size(); ++i) {
        pdu::SubmitOptions options;
        options.reference = std::uint8_t(i);
        const pdu::SubmitResult r = pdu::encodeSubmit(QStringLiteral("+5511987654321"), texts[i], options);
        parts += r.parts.size();
        for (const pdu::SubmitPart& p : r.parts)
            hexBytes += p.hex.size();
    }
    const double encode = ms(t);
    const double encodeCpu = cpuMs() - cpu;
    std::printf("baseline, UTF-8 + hex of %d texts: %.1f ms wall, %.1f ms CPU (%lld bytes)\n", n, baseline, baselineCpu,
                qint64(baselineBytes));
    std::printf("PDU encoding, %d merged texts of 300 characters: %.1f ms wall, %.1f ms CPU, %lld parts, %lld hex "
                "bytes (CPU %.2f x baseline)\n",
                n, encode, encodeCpu, parts, hexBytes, encodeCpu / baselineCpu);
    return 0;
}
