// libFuzzer entry: server bytes into the reply parser, as the client consumes them (reply after reply),
// and the parsed lines into the capability helpers.
#include "mail/SmtpReply.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

using namespace vestral::mail;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    QByteArrayView rest(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    while (!rest.isEmpty()) {
        const SmtpReplyParse parsed = parseSmtpReply(rest);
        if (parsed.status != SmtpReplyParse::Status::Complete)
            break;
        if (parsed.consumed <= 0 || parsed.consumed > rest.size() || parsed.reply.code < 0 || parsed.reply.code > 999)
            std::abort();
        (void)parsed.reply.text();
        (void)authMechanisms(parsed.reply.lines);
        (void)hasCapability(parsed.reply.lines, u"STARTTLS");
        rest = rest.sliced(parsed.consumed);
    }
    return 0;
}
