#include "platform/signal_scope.h"

#include "platform/win32/windows_api.h"

namespace platform {

namespace {

// The child shares the launcher's console and receives Ctrl-C and
// Ctrl-Break itself; the launcher survives them so it can still relay the
// child's last output and return its exit code. Other events (close,
// log-off, shut-down) go to the default handler.
BOOL WINAPI IgnoreInterrupts(DWORD event) {
  return event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? TRUE : FALSE;
}

}  // namespace

// Installed before the child starts: an interrupt between its start and
// the scope's knowing it must not end the launcher either.
ChildSignalScope::ChildSignalScope() {
  ::SetConsoleCtrlHandler(IgnoreInterrupts, TRUE);
}

ChildSignalScope::~ChildSignalScope() {
  ::SetConsoleCtrlHandler(IgnoreInterrupts, FALSE);
}

void ChildSignalScope::Watch(const Child& /*child*/) {}

int ChildSignalScope::StopExitCode() const { return 0; }

LateRequestHold::LateRequestHold() = default;
LateRequestHold::~LateRequestHold() = default;
int LateRequestHold::TakeExitCode() { return 0; }

int HeldRequestExitCode() { return 0; }

}  // namespace platform
