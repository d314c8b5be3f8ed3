#pragma once

#include <QtGlobal>

// The environment every test expects, unless the caller set it otherwise.
inline void testEnvironment() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("VESTRAL_SOURCE_DIR"))
        qputenv("VESTRAL_SOURCE_DIR", VESTRAL_SOURCE_DIR_DEFAULT);
    if (qEnvironmentVariableIsEmpty("VESTRAL_BINARY_DIR"))
        qputenv("VESTRAL_BINARY_DIR", VESTRAL_BINARY_DIR_DEFAULT);
    // The probe of the simulated modems (also in the programs a test starts) waits seconds, not
    // 100 ms, for a reply: a loaded machine answers late. The wait ends at the last reply.
    if (qEnvironmentVariableIsEmpty("VESTRAL_PROBE_MS"))
        qputenv("VESTRAL_PROBE_MS", "5000");
}
