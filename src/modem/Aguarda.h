#pragma once

#include <QtGlobal>

// Waits `ms` milliseconds while the calling thread keeps processing its events (data-available
// events of the serial channels, timers, the operator's input), so handlers can run nested inside
// the wait. Events are processed at least once, also for ms = 0. The elapsed time is an unsigned
// 32-bit difference of millisecond ticks, so a wait spanning the tick counter's wrap ends on time.
void Aguarda(quint32 ms);
