// libFuzzer target: arbitrary modem output for a slot in the middle of a send.
#include "sms/ResponseHandler.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static SlotState state;
    state.setLogger([](const QString&) {});
    if (state.phase() == SlotState::Phase::Stored)
        state.finish(state.sequence());
    if (state.phase() != SlotState::Phase::Idle && !state.awaiting()) {
        state.timeOut(state.sequence());
        state.resync();
        state.resynced();
        state.finishConfiguring();
    }
    if (state.phase() == SlotState::Phase::Idle)
        state.beginSend(OutboxRow{QStringLiteral("5511999990000"), QStringLiteral("teste"), 1});
    const int slot = size > 0 ? 1 + data[0] % 2 : 1;
    ResponseHandler handler(slot, state);
    const QByteArrayView bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    // Whole, then in two deliveries split in the middle.
    for (const HandlerAction& action : handler.feed(bytes)) {
        if (const auto* lower = std::get_if<LowerAwaiting>(&action))
            state.store(lower->sequence);
    }
    handler.feed(bytes.first(bytes.size() / 2));
    handler.feed(bytes.sliced(bytes.size() / 2));
    return 0;
}
