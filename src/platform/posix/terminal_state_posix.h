// What the POSIX child terminal keeps, shared by the terminal
// (terminal_posix.cpp) and its relay (pty_relay_posix.cpp).
#pragma once

#include <sys/types.h>
#include <termios.h>

#include <string>

#include "platform/handle.h"
#include "platform/terminal.h"

namespace platform {

struct ChildTerminal::State {
  Handle master_handle;
  int master = -1;  // master_handle's descriptor, for the calls below
  std::string slave_path;
  struct termios saved = {};  // the user's terminal's mode at Open
  bool have_saved = false;
  bool raw = false;  // the user's terminal is in raw mode now

  // The user's terminal back in its saved mode.
  ~State();
  void Restore();
  // Raw mode, only while the launcher is in the terminal's foreground.
  void MakeRaw();
  // The user's window size onto the child's terminal.
  void PassWindowSize() const;
};

namespace posix {

// Whether the launcher is in its terminal's foreground process group.
bool InForeground();

// The relay of ChildTerminal::Relay for the child `pid`: handlers that
// record SIGCHLD, SIGWINCH, SIGCONT and SIGTSTP are in place, and those
// signals and the scope's requests come in only while it waits in ppoll.
void RunPtyRelay(ChildTerminal::State* terminal, pid_t pid, const ChildSignalScope& signals,
                 TerminalOutput* output);

}  // namespace posix
}  // namespace platform
