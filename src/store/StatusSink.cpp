#include "store/StatusSink.h"

StatusSink* StatusSink::instance() {
    static StatusSink sink;
    return &sink;
}
