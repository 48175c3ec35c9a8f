// What the POSIX layer keeps of a started child, shared by the child and the
// signal scope.
#pragma once

#include <sys/types.h>

#include <cstdint>

#include "platform/child.h"

namespace platform {

struct Child::State {
  pid_t pid = 0;
  bool waited = false;
  std::int32_t status = 0;  // decoded after the wait
};

}  // namespace platform
