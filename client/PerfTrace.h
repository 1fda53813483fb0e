#pragma once

#include <QtGlobal>

// Timestamped events for the end-to-end benchmark (bench/e2e.sh), so that it can tell when
// each record was handed over and when the log that shows it was painted. They go to the
// file named by the environment variable KIBCHAT_TRACE, one per line:
// "<microseconds since the epoch> <event> <a> <b>". Without the variable, noting an event
// costs one test of a flag. Safe from any thread.
namespace perftrace {

bool enabled();
void note(const char* event, qint64 a = 0, qint64 b = 0);
// Writes out what is buffered; also done when the program ends normally.
void flush();

} // namespace perftrace
