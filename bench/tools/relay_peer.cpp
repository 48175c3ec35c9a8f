// relay_peer: the bare peer of the relay benchmark. Starts COMMAND_LINE with
// its output on a pipe and reads it in chunks of the relay's size, logging
// and echoing nothing (CreatePipe / ReadFile loop on Windows).
//   relay_peer COMMAND_LINE
#include <memory>

#include "platform/child.h"
#include "platform/io.h"
#include "platform/process.h"
#include "process/exe_proc.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  platform::Pipe pipe;
  if (platform::CreateChildPipe(&pipe) != 0) return 3;
  platform::MakeNotInheritable(pipe.read);
  platform::StartOptions options;
  options.inherit_handles = true;
  options.std_output = &pipe.write;
  platform::Child child;
  if (platform::StartChild(argv[1], options, &child) != 0) return 4;
  pipe.write.Close();
  std::unique_ptr<char[]> buffer(new char[kb::kRelayChunkSize]);
  int error = 0;
  while (platform::ReadSome(pipe.read, buffer.get(), kb::kRelayChunkSize, &error) > 0) {
  }
  child.Wait();
  std::int32_t code = 0;
  child.ExitCode(&code);
  return code;
}
