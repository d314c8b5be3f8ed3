#pragma once

#include <QByteArray>

// What the inbox reader sees for one received character while inbox mode is on. The response
// line already holds the character (CR and LF included); the tail windows and the cleared flag
// belong to the current delivery (a nested delivery has its own).
struct InboxStep {
    int slot = 0;
    char c = 0;
    QByteArray& responseLine;
    const QByteArray& tail3;
    const QByteArray& tail4;
    bool& cleared;
};

class InboxReader {
public:
    virtual ~InboxReader() = default;
    virtual void inboxStep(InboxStep& step) = 0;
};

// One per program, touched on the window thread only. While `on` is true the handler of the slot
// being read passes its characters to `reader` and skips its own tests.
// `slot` names the slot being read (0: every slot); the other slots keep their normal tests, so
// a reading does not swallow the send dialogue of the other modems.
// `pdu`: the reading lists in PDU mode, where no text travels as such: a delivery report the modem sends meanwhile
// ("+CDS:", "+CDSI:") is still taken by the handler (in text mode a received text could imitate one).
struct InboxMode {
    bool on = false;
    InboxReader* reader = nullptr;
    int slot = 0;
    bool pdu = false;
};
