// A child that runs on a terminal of the user's: interactive programs see
// a terminal on their standard streams (password prompts, line editing,
// colours, the window's width) while the launcher can still log what they
// show.
//
// POSIX: a pseudo-terminal between the user's terminal and the child. The
// child starts in a session of its own with the pseudo-terminal as its
// controlling terminal and as descriptors 0, 1 and 2; the launcher copies
// keys in and output out (see ChildTerminal::Relay).
// Windows: the child starts on the launcher's own console with the
// launcher's standard handles; its output goes straight to the console and
// is not copied. (A pseudo console could keep a copy, but Wine, where this
// is tested, lets the child write straight to the parent's console.)
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "platform/child.h"

namespace platform {

class ChildSignalScope;

// Receives what the child shows on its terminal, chunk by chunk, before it
// reaches the user's terminal. Idle is called before the relay waits: a
// receiver that gathers chunks stores them then, so nothing is held back
// while the output pauses.
class TerminalOutput {
 public:
  virtual void Shown(const char* data, std::size_t size) = 0;
  virtual void Idle() = 0;

 protected:
  ~TerminalOutput() = default;
};

// Whether the launcher's standard input and standard output are both
// terminals. Windows: console handles (GetConsoleMode succeeds on both).
bool StdStreamsAreTerminals();

class ChildTerminal {
 public:
  ChildTerminal();
  // POSIX: the user's terminal is back in the mode it had at Open, whatever
  // happened meanwhile.
  ~ChildTerminal();
  ChildTerminal(const ChildTerminal&) = delete;
  ChildTerminal& operator=(const ChildTerminal&) = delete;

  // Makes the terminal ready. POSIX: a pseudo-terminal with the settings
  // and the window size of the user's terminal. Windows: nothing to make.
  // Returns 0 or the system error code.
  [[nodiscard]] int Open();

  // Starts the child on the terminal (see above). Returns as StartChild
  // does.
  [[nodiscard]] int Start(const std::string& command_line, Child* child);

  // Whether the child's output passes through the launcher (POSIX), or goes
  // straight to the console (Windows).
  bool CopiesOutput() const;

  // POSIX: copies keys from the user's terminal to the child's and the
  // child's output to `output` and onto the user's terminal, until the
  // child has ended and its output is read. The user's terminal is in raw
  // mode only while the launcher is in its foreground process group (a
  // launcher started in the background is never stopped by SIGTTOU). The
  // window size is passed on when it changes. When the child stops
  // (Ctrl-Z), the user's terminal gets its mode back and the launcher
  // stops itself; once continued it sets raw mode again, passes the window
  // size on and continues the child. Waits happen only in ppoll with the
  // scope's requests let in, and every write is non-blocking, so a user's
  // terminal that stops reading never keeps a request out; once the child
  // has ended after a request, the rest of its output reaches `output`
  // only. Windows: returns at once.
  void Relay(const Child& child, const ChildSignalScope& signals, TerminalOutput* output);

  // Defined per platform.
  struct State;

 private:
  std::unique_ptr<State> state_;
};

}  // namespace platform
