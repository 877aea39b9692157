// The engine's standard streams on each system.
//
// - Standard input and output: the Windows C runtime opens them in text mode, which writes "\r\n"
//   for every "\n", reads "\r\n" as "\n" and takes a Ctrl-Z byte (0x1A) in the input for its end.
//   The engine switches both to binary mode, so it sends and receives the same bytes on every
//   system: lines end in "\n" alone, which xboard, WinBoard, Arena and polyglot all accept, and
//   the Windows console shows as a new line too. The line reader strips the "\r" of a "\r\n"
//   itself, whatever sends it (a GUI on Windows, a user at the console).
// - Whether standard input is a terminal: isatty on POSIX systems, _isatty on Windows.
#pragma once

namespace varnu {

// Makes standard input and output carry bytes unchanged. Call it before either is used.
void useBinaryStandardStreams();

// True when standard input is a terminal, where a person types, rather than a pipe from a GUI.
bool inputIsTerminal();

}  // namespace varnu
