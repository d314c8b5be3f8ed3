#include "sms/ResponseHandler.h"

#include <gtest/gtest.h>

#include <QStringList>

namespace {

const QString kTs = QStringLiteral("09/12/2026 08:30:00");
const OutboxRow kRow{QStringLiteral("5511999990000"), QStringLiteral("Olá mundo"), 42};

QDateTime fixedClock() {
    return QDateTime(QDate(2026, 12, 9), QTime(8, 30, 0));
}

QString visible(QString text) {
    return text.replace(QChar('\r'), QStringLiteral("\\r")).replace(QChar('\x1a'), QStringLiteral("^Z"));
}

struct Describe {
    QString operator()(const WriteToChannel& a) const { return "write:" + visible(QString::fromLatin1(a.bytes)); }
    QString operator()(const LogLine& a) const {
        return QString(a.target == LogTarget::SendLog ? "send:" : "console:") + visible(a.text) +
               (a.showLast ? " [last]" : "");
    }
    QString operator()(const HistoryRow& a) const {
        return "history:" + a.destinatario + "|" + visible(a.mensagem) + "|" + a.tipo + "|" + (a.enviado ? "1" : "0");
    }
    QString operator()(const SignalValue& a) const {
        return QStringLiteral("signal:%1:%2%").arg(a.value).arg(a.percent);
    }
    QString operator()(const ReadyLightOn&) const { return QStringLiteral("ready"); }
    QString operator()(const LowerAwaiting&) const { return QStringLiteral("lower"); }
    QString operator()(const MarkInFlight& a) const { return QStringLiteral("mark:%1").arg(a.outboxId); }
    QString operator()(const StatusReportPdu& a) const {
        return QStringLiteral("report:%1:%2:").arg(a.length).arg(a.storedIndex) + QString::fromLatin1(a.hex);
    }
    QString operator()(const StoredStatusReport& a) const {
        return QStringLiteral("stored:") + QString::fromLatin1(a.memory) + QStringLiteral(":%1").arg(a.index);
    }
    QString operator()(const LateResult& a) const {
        QStringList refs;
        for (const int r : a.references)
            refs << QString::number(r);
        return QStringLiteral("late:%1:").arg(a.sequence) + a.destinatario + "|" + visible(a.mensagem) + "|" +
               refs.join(',');
    }
};

// Applies the actions as the coordinator does (only the flag matters here) and describes them.
QStringList applyActions(const HandlerActions& actions, SlotState& state) {
    QStringList out;
    for (const HandlerAction& action : actions) {
        if (const auto* lower = std::get_if<LowerAwaiting>(&action))
            state.store(lower->sequence);
        out << std::visit(Describe{}, action);
    }
    return out;
}

struct Outcome {
    QStringList actions;
    bool awaitingAfter = false;
    QByteArray lineAfter;
};

// Feeds the deliveries to a fresh handler, each whole or byte by byte.
Outcome run(int slot, bool awaiting, const QList<QByteArray>& deliveries, bool byteByByte,
            const OutboxRow& row = kRow) {
    SlotState state;
    if (awaiting)
        state.beginSend(row);
    ResponseHandler handler(slot, state, nullptr, fixedClock);
    Outcome r;
    for (const QByteArray& delivery : deliveries) {
        if (!byteByByte) {
            r.actions << applyActions(handler.feed(delivery), state);
            continue;
        }
        for (const char c : delivery)
            r.actions << applyActions(handler.feed(QByteArrayView(&c, 1)), state);
    }
    r.awaitingAfter = state.awaiting();
    r.lineAfter = handler.responseLine();
    return r;
}

QString e(const char* slotPrefix, const char* text) {
    return QString::fromUtf8(slotPrefix) + kTs + QString::fromUtf8(text);
}

struct Case {
    const char* name;
    int slot;
    bool awaiting;
    QList<QByteArray> deliveries;
    QStringList expected;
    bool awaitingAfter;
};

const QByteArray kPrompt = "AT+CMGS=\"5511999990000\"\r\r\n> ";
const QByteArray kEcho = "Ol\xe1 mundo\x1a";
const QString kPromptMark = QStringLiteral("mark:42");
const QString kPromptWrite = QStringLiteral("write:Olá mundo^Z");
const QString kPromptLog = e("send:", " ENTRADA 2 ENVIANDO CORPO DO SMS=Olá mundo^Z [last]");

QList<Case> cases() {
    return {
        {"prompt writes once", 2, true, {kPrompt}, {kPromptMark, kPromptWrite, kPromptLog}, true},
        {"prompt split over deliveries",
         2,
         true,
         {"AT+CMGS=\"5511999990000\"\r\r\n", ">", " "},
         {kPromptMark, kPromptWrite, kPromptLog},
         true},
        {"sent with reference 17",
         2,
         true,
         {kPrompt, kEcho + "\r\n+CMGS: 17\r\n\r\nOK\r\n"},
         {kPromptMark, kPromptWrite, kPromptLog, "history:5511999990000|Olá mundo|SMS|1",
          e("send:", " ENTRADA 2 MENSAGEM ENVIADA PARA 5511999990000 ID 17 [last]"), "lower",
          e("send:", " ENTRADA 2 ACK RECEBIDO OK<CR> . [last]"), "ready"},
         false},
        {"ERROR while awaiting: one history row, four lines",
         2,
         true,
         {"AT+CMGS=\"5511999990000\"\r\r\nERROR\r\n"},
         {"history:5511999990000| FALHA :ERROR\\rOlá mundo|SMS|0",
          e("send:", " ENTRADA 2 FALHA NO ENVIO DO SMS FONE 5511999990000 ERRO SEM DESCRIÇÃO!"),
          e("send:", " ENTRADA 2 ERRO SEM DESCRIÇÃO! [last]"), "lower",
          e("send:", " ENTRADA 2 FALHA NO ENVIO DO SMS SEM DESCRIÇÃO!"),
          e("send:", " ENTRADA 2 ERRO SEM DESCRIÇÃO! [last]")},
         false},
        {"delivery report between prompt and result is no result",
         2,
         true,
         {kPrompt, "\r\n+CDS: 25\r\n0006110B915511999990F0620190117453806201901174638000\r\n",
          kEcho + "\r\n+CMGS: 17\r\n"},
         {kPromptMark, kPromptWrite, kPromptLog, "report:25:-1:0006110B915511999990F0620190117453806201901174638000",
          "history:5511999990000|Olá mundo|SMS|1",
          e("send:", " ENTRADA 2 MENSAGEM ENVIADA PARA 5511999990000 ID 17 [last]"), "lower"},
         false},
        {"stored report announced, blank line before a PDU, text-mode report ignored",
         2,
         false,
         {"\r\n+CDSI: \"SR\",3\r\n+CDS: 6\r\n\r\n0a0B\r\n+CDS: 6,17,\"+5511\",145\r\n"},
         {"stored:\"SR\":3", "report:6:-1:0a0B"},
         false},
        {"header without a PDU leaves the next line its meaning",
         2,
         false,
         {"+CDS: 25\r\nOK\r\n+CDS: 9999\r\nABCD\r\n+CDS: x\r\nABCD\r\n+CDSI: 3\r\n+CDS: 4\r\nABC\r\n"},
         {e("send:", " ENTRADA 2 ACK RECEBIDO OK<CR> . [last]"), "ready"},
         false},
        {"ERROR outside a send",
         2,
         false,
         {"ERROR\r\n"},
         {e("send:", " ENTRADA 2 FALHA NO ENVIO DO SMS SEM DESCRIÇÃO!"),
          e("send:", " ENTRADA 2 ERRO SEM DESCRIÇÃO! [last]")},
         false},
        {"+CMS ERROR 500",
         2,
         true,
         {kPrompt, kEcho + "\r\n+CMS ERROR: 500\r\n"},
         {kPromptMark, kPromptWrite, kPromptLog,
          "history:5511999990000| ERRO :500 - Erro desconhecido\\rOlá mundo|SMS|0",
          e("send:", " ENTRADA 2 FALHA NO ENVIO DO SMS FONE 5511999990000 ID = 500"),
          e("send:", " ENTRADA 2 ERRO :500 - Erro desconhecido [last]"), "lower"},
         false},
        {"+CMS ERROR with text only",
         2,
         true,
         {"+CMS ERROR: SIM FAILURE\r\n"},
         {"history:5511999990000| FALHA :+CMS ERROR: SIM FAILURE\\rOlá mundo|SMS|0",
          e("send:", " ENTRADA 2 FALHA NO ENVIO DO SMS FONE 5511999990000 FALHA: +CMS ERROR: SIM FAILURE"),
          e("send:", " ENTRADA 2 ERRO :+CMS ERROR: SIM FAILURE [last]"), "lower"},
         false},
        {"+CMS ERROR code too long for an int",
         2,
         true,
         {"+CMS ERROR: 99999999999\r\n"},
         {"history:5511999990000| ERRO :99999999999 - Erro desconhecido!\\rOlá mundo|SMS|0",
          e("send:", " ENTRADA 2 FALHA NO ENVIO DO SMS FONE 5511999990000 ID = 99999999999"),
          e("send:", " ENTRADA 2 ERRO :99999999999 - Erro desconhecido! [last]"), "lower"},
         false},
        {"+CME ERROR 10 before the prompt: the modem has no SIM",
         2,
         true,
         {"AT+CMGS=\"5511999990000\"\r\r\n+CME ERROR: 10\r\n"},
         {"history:5511999990000| ERRO :10 - SIM não está inserido\\rOlá mundo|SMS|0",
          e("send:", " ENTRADA 2 FALHA NO ENVIO DO SMS FONE 5511999990000 ID = 10"),
          e("send:", " ENTRADA 2 ERRO :10 - SIM não está inserido [last]"), "lower"},
         false},
        {"+CME ERROR after the text is the send's result",
         2,
         true,
         {kPrompt, kEcho + "\r\n+CME ERROR: 30\r\n"},
         {kPromptMark, kPromptWrite, kPromptLog,
          "history:5511999990000| ERRO :30 - No serviço de rede\\rOlá mundo|SMS|0",
          e("send:", " ENTRADA 2 FALHA NO ENVIO DO SMS FONE 5511999990000 ID = 30"),
          e("send:", " ENTRADA 2 ERRO :30 - No serviço de rede [last]"), "lower"},
         false},
        {"+CME ERROR with text during a send",
         2,
         true,
         {"+CME ERROR: SIM not inserted\r\n"},
         {"history:5511999990000| FALHA :+CME ERROR: SIM not inserted\\rOlá mundo|SMS|0",
          e("send:", " ENTRADA 2 FALHA NO ENVIO DO SMS FONE 5511999990000 FALHA: +CME ERROR: SIM not inserted"),
          e("send:", " ENTRADA 2 ERRO :+CME ERROR: SIM not inserted [last]"), "lower"},
         false},
        {"+CME ERROR 10 outside a send is only logged",
         2,
         false,
         {"+CME ERROR: 10\r\n"},
         {e("send:", " ERRO :10 - SIM não está inserido [last]")},
         false},
        {"+CME ERROR with text",
         3,
         false,
         {"+CME ERROR: SIM not inserted\r\n"},
         {e("send:", " ENTRADA 3 FALHA NO ENVIO DO SMS = +CME ERROR: SIM not inserted"),
          e("send:", " ENTRADA 3 ERRO :+CME ERROR: SIM not inserted [last]")},
         false},
        {"CSQ 21", 2, false, {"+CSQ: 21,99\r\n"}, {"signal:21:67%"}, false},
        {"CSQ 99 is no signal", 2, false, {"+CSQ: 99,99\r\n"}, {"signal:0:0%"}, false},
        {"CSQ 31", 2, false, {"+CSQ: 31,0\r\n"}, {"signal:31:100%"}, false},
        {"CSQ without blank is ignored", 2, false, {"+CSQ:21,99\r\n"}, {}, false},
        {"CSQ out of range is ignored",
         2,
         false,
         {"+CSQ: 45,0\r\n+CSQ: 99999999999999,0\r\n+CSQ: -1,0\r\n"},
         {},
         false},
        {"OK exact", 5, false, {"OK\r\n"}, {e("send:", " ENTRADA 5 ACK RECEBIDO OK<CR> . [last]"), "ready"}, false},
        {"OK followed by a blank or more", 5, false, {"OK \r\nOKAY\r\n OK\r\n"}, {}, false},
        {"slot 1 copies lines longer than 3 ended by CR",
         1,
         false,
         {"AT+CSQ\r\r\n+CSQ: 21,99\r\n\r\nOK\r\nABC\r\n"},
         {"console:AT+CSQ", "send:AT+CSQ", "signal:21:67%", "console:+CSQ: 21,99", "send:+CSQ: 21,99",
          e("send:", " ENTRADA 1 ACK RECEBIDO OK<CR> . [last]"), "ready"},
         false},
        {"slot 1 ignores lines ended by LF only", 1, false, {"ABCDE\nFGHIJ\r"}, {"console:FGHIJ", "send:FGHIJ"}, false},
        {"slot 1's own modem lines go to Debug Modem only",
         1,
         false,
         {"^RSSI:14\r\n^DSFLOWRPT:00000124,00000000\r\n+CREG: 0,1\r\nRING\r\nSMS DONE\r\n"},
         {"console:^RSSI:14", "console:^DSFLOWRPT:00000124,00000000", "console:+CREG: 0,1", "console:RING",
          "console:SMS DONE"},
         false},
        {"other slots never copy", 2, false, {"AT+CSQ\r\r\n"}, {}, false},
        {"late results outside a send are logged and dropped",
         2,
         false,
         {"+CMGS: 5\r\n+CMS ERROR: 500\r\n"},
         {e("send:", " ENTRADA 2 RESPOSTA DE ENVIO ANTERIOR DESCARTADA: +CMGS: 5 [last]"),
          e("send:", " ENTRADA 2 RESPOSTA DE ENVIO ANTERIOR DESCARTADA: +CMS ERROR: 500 [last]")},
         false},
        {"late +CMGS on slot 1 is still copied",
         1,
         false,
         {"+CMGS: 5\r\n"},
         {e("send:", " ENTRADA 1 RESPOSTA DE ENVIO ANTERIOR DESCARTADA: +CMGS: 5 [last]"), "console:+CMGS: 5",
          "send:+CMGS: 5"},
         false},
        {"+CMGS before this send's prompt belongs to an earlier send",
         2,
         true,
         {"+CMGS: 4\r\n\r\nOK\r\n", kPrompt, "\r\n+CMGS: 5\r\n"},
         {e("send:", " ENTRADA 2 RESPOSTA DE ENVIO ANTERIOR DESCARTADA: +CMGS: 4 [last]"),
          e("send:", " ENTRADA 2 ACK RECEBIDO OK<CR> . [last]"), "ready", kPromptMark, kPromptWrite, kPromptLog,
          "history:5511999990000|Olá mundo|SMS|1",
          e("send:", " ENTRADA 2 MENSAGEM ENVIADA PARA 5511999990000 ID 5 [last]"), "lower"},
         false},
        {"a second final result goes to the general tests only",
         2,
         true,
         {kPrompt, "\r\n+CMGS: 6\r\nERROR\r\n"},
         {kPromptMark, kPromptWrite, kPromptLog, "history:5511999990000|Olá mundo|SMS|1",
          e("send:", " ENTRADA 2 MENSAGEM ENVIADA PARA 5511999990000 ID 6 [last]"), "lower",
          e("send:", " ENTRADA 2 FALHA NO ENVIO DO SMS SEM DESCRIÇÃO!"),
          e("send:", " ENTRADA 2 ERRO SEM DESCRIÇÃO! [last]")},
         false},
        {"count 0 changes nothing", 2, true, {""}, {}, true},
    };
}

} // namespace

TEST(ResponseHandler, TranscriptsWholeAndByteByByte) {
    for (const Case& c : cases()) {
        for (const bool byteByByte : {false, true}) {
            const Outcome r = run(c.slot, c.awaiting, c.deliveries, byteByByte);
            EXPECT_EQ(r.actions, c.expected) << c.name << (byteByByte ? " (byte by byte)" : " (whole)") << "\n"
                                             << r.actions.join(QLatin1Char('\n')).toStdString();
            EXPECT_EQ(r.awaitingAfter, c.awaitingAfter) << c.name;
        }
    }
}

TEST(ResponseHandler, PromptAnsweredOnceEvenWhenTheEchoHoldsAGreaterThan) {
    const OutboxRow row{QStringLiteral("123"), QStringLiteral("a > b"), 1};
    const Outcome r = run(4, true, {"\r\n> ", "a > b\x1a", "\r\n"}, false, row);
    EXPECT_EQ(r.actions.filter(QStringLiteral("write:")), QStringList{QStringLiteral("write:a > b^Z")});
}

TEST(ResponseHandler, ResponseLineKeepsTheUnfinishedLine) {
    const Outcome r = run(2, false, {"+CSQ: 1", "2,99"}, false);
    EXPECT_EQ(r.lineAfter, QByteArray("+CSQ: 12,99"));
    EXPECT_TRUE(r.actions.isEmpty());
}

TEST(ResponseHandler, NextSendAfterAResultIsHandledAgain) {
    SlotState state;
    ResponseHandler handler(2, state, nullptr, fixedClock);
    for (int i = 0; i < 2; ++i) {
        const quint64 sequence = state.beginSend(kRow);
        const QStringList actions = applyActions(handler.feed("\r\n> x\r\n+CMGS: 9\r\n"), state);
        EXPECT_EQ(actions.filter(QStringLiteral("history:")).size(), 1) << "send " << i;
        EXPECT_FALSE(state.awaiting());
        EXPECT_TRUE(state.finish(sequence));
    }
}

// A row marked with the previous row's result goes at its prompt with no mark of its own; its
// result carries the mark of the row after it, and a result of no outbox row carries none.
TEST(ResponseHandler, AMarkedRowGoesWithoutAMarkAndItsResultMarksTheNext) {
    struct MarkCase {
        const char* name;
        OutboxRow row;
        QByteArray replies;
        bool markAtPrompt;
        qint64 markNextId;
    };
    const QList<MarkCase> cases{
        {"marked, sent", {kRow.fone, kRow.mensagem, 42, 43, true}, "\r\n> x\r\n+CMGS: 9\r\n", false, 43},
        {"unmarked, failed", {kRow.fone, kRow.mensagem, 42, 43, false}, "\r\n> x\r\n+CMS ERROR: 500\r\n", true, 43},
        {"refused before the prompt", {kRow.fone, kRow.mensagem, 42, 43, true}, "\r\nERROR\r\n", false, 43},
        {"last row", {kRow.fone, kRow.mensagem, 42, 0, false}, "\r\n> x\r\n+CMGS: 9\r\n", true, 0},
        {"no outbox row", {kRow.fone, kRow.mensagem, 0, 43, false}, "\r\n> x\r\n+CMGS: 9\r\n", true, 0},
    };
    for (const MarkCase& c : cases) {
        SlotState state;
        state.beginSend(c.row);
        ResponseHandler handler(2, state, nullptr, fixedClock);
        const HandlerActions actions = handler.feed(c.replies);
        int marks = 0;
        const HistoryRow* history = nullptr;
        for (const HandlerAction& a : actions) {
            marks += std::holds_alternative<MarkInFlight>(a) ? 1 : 0;
            if (const auto* h = std::get_if<HistoryRow>(&a))
                history = h;
        }
        EXPECT_EQ(marks, c.markAtPrompt ? 1 : 0) << c.name;
        ASSERT_NE(history, nullptr) << c.name;
        EXPECT_EQ(history->markNextId, c.markNextId) << c.name;
    }
}

// PDU mode, one message of three parts, each a send of its own: the prompt takes the part's hex,
// a part's "+CMGS:" moves the message on with no history row, a late result of an earlier part is
// dropped, and the message's one history row comes with the last part's result (every reference)
// or with the first failure (the failure row of text mode, the part named in the log).
TEST(ResponseHandler, APduMessageIsAnsweredPartByPart) {
    struct PduCase {
        const char* name;
        QList<QByteArray> replies; // one delivery per part, in order
        int partsWritten;
        QString history;
        QList<int> references;
        QStringList logged;
    };
    const QList<PduCase> cases{
        {"all accepted",
         {"\r\n> ", "\r\n+CMGS: 5\r\n\r\nOK\r\n", "\r\n> ", "\r\n+CMGS: 6\r\n", "\r\n> ", "\r\n+CMGS: 7\r\n"},
         3,
         "history:5511999990000|Olá mundo|SMS|1",
         {5, 6, 7},
         {" PARTE 1/3 ACEITA PARA 5511999990000 ID 5", " PARTE 2/3 ACEITA PARA 5511999990000 ID 6",
          " MENSAGEM ENVIADA PARA 5511999990000 ID 5,6,7"}},
        {"part 2 refused by the network",
         {"\r\n> ", "\r\n+CMGS: 5\r\n", "\r\n> ", "\r\n+CMS ERROR: 500\r\n"},
         2,
         "history:5511999990000| ERRO :500 - Erro desconhecido\\rOlá mundo|SMS|0",
         {},
         {" PARTE 1/3 ACEITA PARA 5511999990000 ID 5", " FALHA NA PARTE 2/3 DO SMS PARA 5511999990000",
          " FALHA NO ENVIO DO SMS FONE 5511999990000 ID = 500"}},
        {"late result of part 1 before part 2's prompt",
         {"\r\n> ", "\r\n+CMGS: 5\r\n", "\r\n+CMGS: 5\r\n> ", "\r\nERROR\r\n"},
         2,
         "history:5511999990000| FALHA :ERROR\\rOlá mundo|SMS|0",
         {},
         {" RESPOSTA DE ENVIO ANTERIOR DESCARTADA: +CMGS: 5", " FALHA NA PARTE 2/3 DO SMS PARA 5511999990000"}},
    };
    for (const PduCase& c : cases) {
        SlotState state;
        quint64 seq = state.beginSend({kRow.fone, kRow.mensagem, 42, 0, false, "0A1B", 1, 3, true});
        ResponseHandler handler(2, state, nullptr, fixedClock);
        QStringList described;
        QList<int> references;
        int history = 0;
        for (const QByteArray& reply : c.replies) {
            const HandlerActions actions = handler.feed(reply);
            for (const HandlerAction& a : actions)
                if (const auto* h = std::get_if<HistoryRow>(&a)) {
                    ++history;
                    references = h->references;
                }
            described << applyActions(actions, state);
            if (state.is(SlotState::Phase::PartSent, seq)) // the worker writes the next part
                seq = state.nextPart(seq, "0C2D");
        }
        EXPECT_EQ(described.filter(QStringLiteral("mark:")).size(), 1) << c.name << ": one mark, before part 1";
        EXPECT_EQ(described.filter(QStringLiteral("write:")).size(), c.partsWritten) << c.name;
        EXPECT_TRUE(described.contains(QStringLiteral("write:0A1B^Z"))) << c.name;
        EXPECT_EQ(history, 1) << c.name;
        EXPECT_TRUE(described.contains(c.history)) << c.name << "\n" << described.join('\n').toStdString();
        EXPECT_EQ(references, c.references) << c.name;
        for (const QString& line : c.logged)
            EXPECT_EQ(described.filter(line).size(), 1) << c.name << ": " << line.toStdString();
        EXPECT_FALSE(state.awaiting()) << c.name;
    }
}

namespace {

struct RecordingReader : InboxReader {
    void inboxStep(InboxStep& step) override {
        seen.append(step.c);
        lines.append(step.responseLine);
        tails4.append(step.tail4);
    }
    QByteArray seen;
    QList<QByteArray> lines;
    QList<QByteArray> tails4;
};

} // namespace

TEST(ResponseHandler, InboxModeRoutesEveryCharacterToTheReader) {
    SlotState state;
    state.beginSend(kRow);
    RecordingReader reader;
    InboxMode inbox{true, &reader};
    ResponseHandler handler(3, state, &inbox, fixedClock);
    const HandlerActions actions = handler.feed("\r\n+CMGS: 1\r\nOK\r\n");
    EXPECT_TRUE(actions.empty());
    EXPECT_TRUE(state.awaiting());
    EXPECT_EQ(reader.seen, QByteArray("\r\n+CMGS: 1\r\nOK\r\n"));
    EXPECT_EQ(reader.lines.last(), QByteArray("\r\n+CMGS: 1\r\nOK\r\n"));
    EXPECT_EQ(reader.tails4.last(), QByteArray("OK\r\n"));

    // The tail windows start empty at every delivery.
    handler.feed("Z");
    EXPECT_EQ(reader.tails4.last(), QByteArray("Z"));

    inbox.on = false;
    handler.clearResponseLine();
    EXPECT_EQ(applyActions(handler.feed("OK\r"), state).size(), 2);
}

// While an inbox reading takes the characters, a delivery report the modem sends is still taken, whole or byte by
// byte, in a PDU reading only: a text-mode listing carries received texts, which could imitate a report.
TEST(ResponseHandler, ReportDuringAPduInboxReadingIsTakenTextsCannotImitateOne) {
    const QByteArray listing =
        "\r\n+CMGL: 1,0,,2\r\n0011\r\n+CDS: 2\r\n\r\n00AB\r\n+CMGL: 2,0,,2\r\n0022\r\n+CDS: 2\r\n" +
        QByteArray(600, 'A') + "\r\n00CD\r\n+CDSI: \"SR\",7\r\nOK\r\n";
    for (const bool pdu : {true, false}) {
        for (const bool byteByByte : {false, true}) {
            SlotState state;
            RecordingReader reader;
            InboxMode inbox{true, &reader, 1, pdu};
            ResponseHandler handler(1, state, &inbox, fixedClock);
            HandlerActions actions;
            for (qsizetype at = 0; at < listing.size(); at += byteByByte ? 1 : listing.size())
                for (HandlerAction& a : handler.feed(listing.mid(at, byteByByte ? 1 : listing.size())))
                    actions.push_back(std::move(a));
            EXPECT_EQ(reader.seen, listing) << pdu << byteByByte;
            QByteArrayList reports;
            QList<int> stored;
            for (const HandlerAction& a : actions) {
                if (const auto* r = std::get_if<StatusReportPdu>(&a))
                    reports << r->hex + ":" + QByteArray::number(r->length) + ":" + QByteArray::number(r->storedIndex);
                if (const auto* r = std::get_if<StoredStatusReport>(&a))
                    stored << r->index;
            }
            EXPECT_EQ(reports, pdu ? QByteArrayList{"00AB:2:-1"} : QByteArrayList{}) << pdu << byteByByte;
            EXPECT_EQ(stored, pdu ? QList<int>{7} : QList<int>{}) << pdu << byteByByte;
        }
    }
}

TEST(ExtractBetween, Cases) {
    struct C {
        const char* text;
        const char* start;
        const char* end;
        bool caseSensitive;
        const char* expected;
    };
    const C cases[] = {
        {"+CSQ: 21,99", " ", ",", false, "21"},
        {"+CSQ:21,99", " ", ",", false, "+CSQ:21"},
        {"abc", "x", "y", false, "abc"},
        {"xxAbCyyZzz", "abc", "z", false, "yy"},
        {"xxAbCyyZzz", "abc", "z", true, "xxAbCyyZ"},
        {"09/12/26 10:00:00-12", "a", "-", true, "09/12/26 10:00:00"},
        {"start-middle-end", "-", "-", true, "middle"},
        {"", " ", ",", false, ""},
    };
    for (const C& c : cases)
        EXPECT_EQ(ExtractBetween(QString::fromUtf8(c.text), QString::fromUtf8(c.start), QString::fromUtf8(c.end),
                                 c.caseSensitive),
                  QString::fromUtf8(c.expected))
            << c.text;
}

// The phases outside a send's own dialogue: results of a timed-out send that come while the modem
// is being resynchronised are logged and dropped, and its "OK" ends the resync; a set-up command's
// "OK" or error is its reply.
TEST(ResponseHandler, ResyncAndSetUpReplies) {
    struct Case {
        const char* name;
        SlotState::Phase phase;
        QByteArray bytes;
        QStringList expected;
        SlotState::Phase after;
        bool replyOk;
    };
    const QString drop = e("send:", " ENTRADA 2 RESPOSTA DE ENVIO ANTERIOR DESCARTADA: ");
    const QString ack = e("send:", " ENTRADA 2 ACK RECEBIDO OK<CR> . [last]");
    const QString plain1 = e("send:", " ENTRADA 2 FALHA NO ENVIO DO SMS SEM DESCRIÇÃO!");
    const QString plain2 = e("send:", " ENTRADA 2 ERRO SEM DESCRIÇÃO! [last]");
    const Case cases[] = {
        {"late success while resyncing",
         SlotState::Phase::Resyncing,
         "\r\n+CMGS: 7\r\n\r\nOK\r\n",
         {drop + "+CMGS: 7 [last]", ack, "ready"},
         SlotState::Phase::Idle,
         false},
        {"late +CMS ERROR while resyncing",
         SlotState::Phase::Resyncing,
         "\r\n+CMS ERROR: 500\r\n",
         {drop + "+CMS ERROR: 500 [last]"},
         SlotState::Phase::Resyncing,
         false},
        {"late ERROR while resyncing",
         SlotState::Phase::Resyncing,
         "\r\nERROR\r\nOK\r\n",
         {drop + "ERROR [last]", plain1, plain2, ack, "ready"},
         SlotState::Phase::Idle,
         false},
        {"late +CME ERROR while resyncing",
         SlotState::Phase::Resyncing,
         "\r\n+CME ERROR: 10\r\n",
         {drop + "+CME ERROR: 10 [last]", e("send:", " ERRO :10 - SIM não está inserido [last]")},
         SlotState::Phase::Resyncing,
         false},
        {"set-up command taken",
         SlotState::Phase::Configuring,
         "AT+CSCS=\"8859-1\"\r\r\nOK\r\n",
         {ack, "ready"},
         SlotState::Phase::Idle,
         true},
        // A refused set-up command is no failed send: the worker says what was refused.
        {"set-up command refused",
         SlotState::Phase::Configuring,
         "AT+CSCS=\"8859-1\"\r\r\nERROR\r\n",
         {},
         SlotState::Phase::Idle,
         false},
        {"set-up command refused with COMMAND NOT SUPPORT",
         SlotState::Phase::Configuring,
         "AT+CSCS=\"8859-1\"\r\r\nCOMMAND NOT SUPPORT\r\n",
         {},
         SlotState::Phase::Idle,
         false},
        {"set-up command refused with +CME ERROR",
         SlotState::Phase::Configuring,
         "AT+CMGF=1\r\r\n+CME ERROR: 10\r\n",
         {},
         SlotState::Phase::Idle,
         false},
        {"set-up answer with the modem's own lines around it",
         SlotState::Phase::Configuring,
         "\r\n^SRVST:0\r\nAT+CMGF=1\r\r\n^RSSI:14\r\n\r\nOK\r\n\n",
         {ack, "ready"},
         SlotState::Phase::Idle,
         true},
        {"late ERROR while resyncing keeps its lines",
         SlotState::Phase::Resyncing,
         "\r\nCOMMAND NOT SUPPORT\r\n",
         {drop + "COMMAND NOT SUPPORT [last]", plain1, plain2},
         SlotState::Phase::Resyncing,
         false},
    };
    for (const Case& c : cases) {
        SlotState state;
        if (c.phase == SlotState::Phase::Resyncing) {
            state.timeOut(state.beginSend(kRow));
            state.resync();
        } else {
            state.configure();
        }
        ResponseHandler handler(2, state, nullptr, fixedClock);
        EXPECT_EQ(applyActions(handler.feed(c.bytes), state), c.expected) << c.name;
        EXPECT_EQ(state.phase(), c.after) << c.name;
        EXPECT_EQ(state.replyOk(), c.replyOk) << c.name;
    }
}

// At the prompt the text goes out in the slot's character set; a text holding a control byte is
// not written: ESC cancels the prompt and the row fails as an invalid text.
TEST(ResponseHandler, PromptWritesTheCharsetAndRefusesControlBytes) {
    SlotState state;
    state.setCharset(TextCharset::Ira);
    state.beginSend({QStringLiteral("5511999990000"), QStringLiteral("Ação é €5"), 3});
    ResponseHandler handler(2, state, nullptr, fixedClock);
    QStringList actions = applyActions(handler.feed("\r\n> "), state);
    EXPECT_TRUE(actions.contains(QStringLiteral("write:Acao e EUR5^Z"))) << actions.join('\n').toStdString();

    SlotState bad;
    bad.beginSend({QStringLiteral("5511999990000"),
                   QStringLiteral("Maria\x1b"
                                  "AT+CMGS=\"5511000\""),
                   4});
    ResponseHandler badHandler(2, bad, nullptr, fixedClock);
    actions = applyActions(badHandler.feed("\r\n> "), bad);
    EXPECT_EQ(actions.first(), QStringLiteral("write:\x1b"));
    EXPECT_TRUE(actions.filter("mark:").isEmpty());
    EXPECT_TRUE(actions.contains(QStringLiteral("history:5511999990000| FALHA :TEXTO INVÁLIDO\\rMaria\x1b"
                                                "AT+CMGS=\"5511000\"|SMS|0")))
        << actions.join('\n').toStdString();
    EXPECT_EQ(bad.phase(), SlotState::Phase::Stored);
}

namespace {

// One send's bytes from the modem, in pieces: a modem's own line can come between any two pieces, and
// inside an echo (the modem echoes byte by byte), never inside a line the modem writes itself.
struct Piece {
    QByteArray bytes;
    bool echo; // the modem echoes it byte by byte: a line of its own may cut it anywhere
};

// Every way of putting one line of the modem's own into the send's bytes.
QList<QByteArray> withOneNoiseLine(const QList<Piece>& pieces, const QByteArray& noise) {
    QList<qsizetype> cuts{0};
    QByteArray all;
    for (const Piece& p : pieces) {
        for (qsizetype i = 1; p.echo && i < p.bytes.size(); ++i)
            cuts << all.size() + i;
        all += p.bytes;
        cuts << all.size();
    }
    QList<QByteArray> out;
    for (const qsizetype at : cuts)
        out << all.left(at) + "\r\n" + noise + "\r\n" + all.mid(at);
    return out;
}

const QList<QByteArray> kNoise{"^RSSI:14",
                               "^BOOT:35323129,0,0,0,26",
                               "^SRVST:0",
                               "^MODE:5,4",
                               "+ZUSIMR:2",
                               "RDY",
                               "+QIND: SMS DONE",
                               "^SYSSTART",
                               "*EMRDY: 1",
                               "+CREG: 1, E006B, ABE0016",
                               "RING",
                               "NO CARRIER",
                               "+CMTI: \"SM\",3",
                               "+CPIN: READY",
                               "+CFUN: 1",
                               "PB DONE",
                               "^HCSQ:\"LTE\",59,50,161,24",
                               "+CUSD: 0,\"Saldo\",15",
                               "+CLIP: \"5511\",129"};

QStringList sendActions(const QByteArray& bytes, bool byteByByte, const OutboxRow& row) {
    return run(2, true, {bytes}, byteByByte, row).actions;
}

} // namespace

// Lines the modem writes on its own, wherever they come in a send (before the echo, inside it, between the
// prompt and the text's echo, between the result and its OK), change nothing of the send: text and PDU mode,
// whole and byte by byte.
TEST(ResponseHandler, LinesOfTheModemsOwnAnywhereInASendChangeNothing) {
    const OutboxRow pduRow{kRow.fone, kRow.mensagem, 42, 0, false, "0A1B", 1, 1, false};
    struct Send {
        const char* name;
        QList<Piece> pieces;
        OutboxRow row;
    };
    const QList<Send> sends{
        {"text, sent",
         {{"AT+CMGS=\"5511999990000\"\r", true},
          {"\r\n> ", false},
          {"Ol\xe1 mundo\x1a", true},
          {"\r\n+CMGS: 17\r\n", false},
          {"\r\nOK\r\n", false}},
         kRow},
        {"text, refused",
         {{"AT+CMGS=\"5511999990000\"\r", true},
          {"\r\n> ", false},
          {"Ol\xe1 mundo\x1a", true},
          {"\r\n+CMS ERROR: 500\r\n", false}},
         kRow},
        {"PDU, sent",
         {{"AT+CMGS=2\r", true},
          {"\r\n> ", false},
          {"0A1B\x1a", true},
          {"\r\n+CMGS: 5\r\n", false},
          {"\r\nOK\r\n", false}},
         pduRow},
        {"PDU, refused",
         {{"AT+CMGS=2\r", true}, {"\r\n>\r\n", false}, {"0A1B\x1a", true}, {"\r\n+CMS ERROR: 38\r\n", false}},
         pduRow},
    };
    for (const Send& send : sends) {
        QByteArray clean;
        for (const Piece& p : send.pieces)
            clean += p.bytes;
        const QStringList expected = sendActions(clean, false, send.row);
        ASSERT_TRUE(expected.contains(QStringLiteral("lower"))) << send.name;
        int n = 0;
        for (const QByteArray& noisy : withOneNoiseLine(send.pieces, kNoise[0])) {
            const QByteArray noise = kNoise[n++ % kNoise.size()];
            QByteArray bytes = noisy;
            bytes.replace(kNoise[0], noise);
            for (const bool byteByByte : {false, true})
                EXPECT_EQ(sendActions(bytes, byteByByte, send.row), expected)
                    << send.name << (byteByByte ? " byte by byte: " : ": ") << bytes.toStdString();
        }
    }
}

// How modems prompt and echo: a bare ">" is the prompt; the echo of the text or PDU with its Ctrl-Z is
// never the result, even when the text starts like one; "COMMAND NOT SUPPORT" refuses the send.
TEST(ResponseHandler, PromptsAndEchoesOfRealModems) {
    const OutboxRow pduRow{kRow.fone, kRow.mensagem, 42, 0, false, "0A1B", 1, 1, false};
    const OutboxRow errorText{kRow.fone, QStringLiteral("ERROR no pedido"), 43};
    struct Case {
        const char* name;
        QByteArray bytes;
        OutboxRow row;
        QStringList logged; // in order, among the actions
    };
    const QList<Case> cases{
        {"bare prompt, then sent",
         "AT+CMGS=\"5511999990000\"\r\r\n>\r\nOl\xe1 mundo\x1a\r\n+CMGS: 3\r\n\r\nOK\r\n",
         kRow,
         {kPromptWrite, e("send:", " ENTRADA 2 MENSAGEM ENVIADA PARA 5511999990000 ID 3 [last]")}},
        {"PDU and Ctrl-Z echoed before the refusal",
         "AT+CMGS=2\r\r\n> 0A1B\x1a\r\n+CMS ERROR: 38\r\n",
         pduRow,
         {"write:0A1B^Z", e("send:", " ENTRADA 2 FALHA NO ENVIO DO SMS FONE 5511999990000 ID = 38")}},
        {"echoed text that starts like a result",
         "AT+CMGS=\"5511999990000\"\r\r\n>\r\nERROR no pedido\x1a\r\n+CMGS: 4\r\n",
         errorText,
         {"write:ERROR no pedido^Z", e("send:", " ENTRADA 2 MENSAGEM ENVIADA PARA 5511999990000 ID 4 [last]")}},
        {"COMMAND NOT SUPPORT refuses the send",
         "AT+CMGS=\"5511999990000\"\r\r\nCOMMAND NOT SUPPORT\r\n",
         kRow,
         {e("send:", " ENTRADA 2 FALHA NO ENVIO DO SMS FONE 5511999990000 ERRO SEM DESCRIÇÃO!")}},
    };
    for (const Case& c : cases) {
        for (const bool byteByByte : {false, true}) {
            const Outcome r = run(2, true, {c.bytes}, byteByByte, c.row);
            qsizetype from = 0;
            for (const QString& line : c.logged) {
                const qsizetype at = r.actions.indexOf(line, from);
                EXPECT_GE(at, 0) << c.name << ": " << line.toStdString() << "\n" << r.actions.join('\n').toStdString();
                from = at < 0 ? from : at + 1;
            }
            EXPECT_EQ(r.actions.filter(QStringLiteral("history:")).size(), 1) << c.name;
            EXPECT_FALSE(r.awaitingAfter) << c.name;
        }
    }
}

// A "+CMGS:" after the worker's answer wait ran out: only a send whose text went out (its last part in PDU mode) can
// have been sent by it, so only then is it a late result that makes the message sent; before the prompt, between
// parts, or once the resync's "OK" came, it is dropped as before.
TEST(ResponseHandler, LateSentResultOnlyForATextThatWentOut) {
    struct LateCase {
        const char* name;
        int parts;
        int partsAccepted; // PDU parts accepted before the time-out
        bool prompted;     // the "> " came before the time-out
        bool resynced;     // the resync's "OK" came before the result
        QStringList expected;
    };
    const QString dropped = e("send:", " ENTRADA 2 RESPOSTA DE ENVIO ANTERIOR DESCARTADA: +CMGS: 7 [last]");
    const QList<LateCase> cases{
        {"text sent, result late",
         1,
         0,
         true,
         false,
         {"late:1:5511999990000|Olá mundo|", e("send:", " ENTRADA 2 RESPOSTA ATRASADA: MENSAGEM ENVIADA PARA "
                                                        "5511999990000 ID 7 [last]")}},
        {"no prompt before the time-out", 1, 0, false, false, {dropped}},
        {"result after the resync ended", 1, 0, true, true, {dropped}},
        {"last of three parts, reports asked for",
         3,
         2,
         true,
         false,
         {"late:3:5511999990000|Olá mundo|5,6,7", e("send:", " ENTRADA 2 RESPOSTA ATRASADA: MENSAGEM ENVIADA PARA "
                                                             "5511999990000 ID 5,6,7 [last]")}},
        {"second of three parts: the third never went", 3, 1, true, false, {dropped}},
    };
    for (const LateCase& c : cases) {
        SlotState state;
        const bool pdu = c.parts > 1;
        quint64 seq = state.beginSend({kRow.fone, kRow.mensagem, 42, 0, true, pdu ? "0A1B" : "", 1, c.parts, pdu});
        for (int part = 1; part <= c.partsAccepted; ++part) {
            ASSERT_TRUE(state.submit(seq));
            ASSERT_TRUE(state.acceptPart(seq, 4 + part));
            seq = state.nextPart(seq, "0A1B");
        }
        if (c.prompted) {
            ASSERT_TRUE(state.submit(seq)) << c.name;
        }
        ASSERT_TRUE(state.timeOut(seq)) << c.name;
        ASSERT_TRUE(state.resync()) << c.name;
        if (c.resynced) {
            ASSERT_TRUE(state.resynced()) << c.name;
        }
        ResponseHandler handler(2, state, nullptr, fixedClock);
        EXPECT_EQ(applyActions(handler.feed("\r\n+CMGS: 7\r\n"), state), c.expected) << c.name;
    }
}
