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

// One per program, touched on the window thread only. While `on` is true every slot's
// handler passes its characters to `reader` and skips its own tests.
struct InboxMode {
    bool on = false;
    InboxReader* reader = nullptr;
};
