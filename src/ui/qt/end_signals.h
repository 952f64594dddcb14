// WatchEndSignals: SIGTERM, SIGINT and SIGHUP end the program by the same safe path as a close.
#pragma once

class CBatchWindow;

// From now on, SIGTERM, SIGINT and SIGHUP (a shutdown, Ctrl+C in the terminal, the terminal closed)
// reach the window's thread through a pipe and run the dialog's end of session there: the line stops
// at its safe point (the indicator being downloaded gets its state code back), the writer's queue is
// written, and the window closes. False when the pipe or a handler cannot be set up.
bool WatchEndSignals(CBatchWindow& window);
