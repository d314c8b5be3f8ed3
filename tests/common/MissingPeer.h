#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <QtGlobal>

// A test whose outside peer (a program, a driver, a server) is missing skips on a developer's
// machine, but fails under CI=true: there the set-up installs every peer, so a missing one is a
// broken set-up, and it must never pass green.
inline bool vestralRequirePeers() {
    return qEnvironmentVariable("CI") == QLatin1String("true");
}

// `message` is a stream expression: VESTRAL_SKIP_MISSING_PEER("no server: " << why.toStdString());
#define VESTRAL_SKIP_MISSING_PEER(message)                                                                             \
    do {                                                                                                               \
        if (vestralRequirePeers()) {                                                                                   \
            GTEST_FAIL() << "peer missing under CI=true: " << message;                                                 \
        }                                                                                                              \
        GTEST_SKIP() << message;                                                                                       \
    } while (false)
