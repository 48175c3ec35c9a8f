#include "platform/terminal.h"

#include "platform/win32/windows_api.h"

namespace platform {

struct ChildTerminal::State {};

bool StdStreamsAreTerminals() {
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(STD_INPUT_HANDLE), &mode) != FALSE &&
         ::GetConsoleMode(::GetStdHandle(STD_OUTPUT_HANDLE), &mode) != FALSE;
}

ChildTerminal::ChildTerminal() = default;
ChildTerminal::~ChildTerminal() = default;

int ChildTerminal::Open() { return 0; }

// Without STARTF_USESTDHANDLES a console child on the same console gets the
// launcher's standard handles, console handles among them; nothing else is
// inherited.
int ChildTerminal::Start(const std::string& command_line, Child* child) {
  StartOptions options;
  options.inherit_handles = false;
  options.show = ShowWindow::kShow;
  // Held in the launcher's job before it runs, as every relayed child.
  options.suspended = true;
  return StartChild(command_line, options, child);
}

bool ChildTerminal::CopiesOutput() const { return false; }

void ChildTerminal::Relay(const Child&, const ChildSignalScope&, TerminalOutput*) {}

}  // namespace platform
