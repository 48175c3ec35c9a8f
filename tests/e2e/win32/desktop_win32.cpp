// The windowed launcher under test shows message boxes. Under Wine, the
// first program that needs the desktop starts the desktop's process, which
// takes that program's error output with it. Were that a launcher started
// by a test, the desktop would hold the test's output pipe open, and the
// test would wait on it until the desktop ends, which it does not while
// the test program runs. So the test program asks for the desktop itself
// before any test starts: the desktop's process then takes this program's
// error output, and lives as long as the tests do.
#include "platform/win32/windows_api.h"

namespace {

const bool kDesktopUp = ::GetDesktopWindow() != nullptr;

}  // namespace
