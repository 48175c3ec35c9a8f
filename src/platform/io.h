// Raw reads and writes on an open Handle (pipes, files opened for
// appending), the launcher's own standard output, and the relay's echo:
// copying a child's output onto standard output as it is read.
//
// Windows: ReadFile / WriteFile, synchronous. POSIX: read / write, retried
// on EINTR; tee(2) for the echo where standard output is a pipe.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/handle.h"

namespace platform {

class ChildSignalScope;

// Blocking read of at most size bytes. Returns 0 with the count in *count
// (0 at the end of the data), or the system error code with *count 0.
// Windows: a pipe whose every write end is closed answers ERROR_BROKEN_PIPE.
[[nodiscard]] int ReadSome(const Handle& handle, char* buffer, std::size_t size,
                           std::size_t* count);

// Reads at most size bytes of a file at byte offset `offset`, without
// moving a position that other reads share. Returns 0 with the count in
// *count (short only at the end of the file), or the system error code
// with *count 0. POSIX: pread, retried on EINTR; Windows: ReadFile with
// the offset in an OVERLAPPED structure.
[[nodiscard]] int ReadAt(const Handle& file, std::uint64_t offset, char* buffer,
                         std::size_t size, std::size_t* count);

// Writes every byte (looping over partial writes). Returns 0 or the system
// error code of the write that failed (the rest is then dropped).
// POSIX: a non-blocking target that is full (EAGAIN) is waited for with
// poll and the write goes on. Windows: a console before Windows 8 refuses
// large writes with ERROR_NOT_ENOUGH_MEMORY; the piece is then retried in
// halves until it is taken (or a single byte is refused).
[[nodiscard]] int WriteAll(const Handle& handle, const char* data, std::size_t size);

// Appends two pieces as one append where the system can: POSIX one writev
// (looping over partial writes); Windows one WriteFile per non-empty piece.
// Returns as the single-piece form does.
[[nodiscard]] int WriteAll(const Handle& handle, const char* head, std::size_t head_size,
                           const char* rest, std::size_t rest_size);

enum class StdOutState { kValid, kInvalid, kNull };
// The launcher's own standard output (GetStdHandle(STD_OUTPUT_HANDLE)).
// kInvalid / kNull carry the last error in *error. The three answers stay
// apart because the launch logs each its own way, and a missing handle
// (kNull) need not come with any error code at all (*error may be 0), so
// no single code could stand for it. POSIX: a close-on-exec duplicate of
// descriptor 1 when it is open, else kInvalid with EBADF; never kNull.
StdOutState GetStdOutput(Handle* out, int* error);

// A copy of the launcher's own standard input for a child to read, whatever
// it is (console, terminal, pipe, file). Returns 0, or the system error
// code when there is none to copy. Windows: a duplicate of
// GetStdHandle(STD_INPUT_HANDLE), ERROR_INVALID_HANDLE when that is null or
// invalid. POSIX: a close-on-exec duplicate of descriptor 0.
[[nodiscard]] int GetStdInput(Handle* in);

// Closes the launcher's standard output for good, as the relay does when it
// ends: whoever reads it sees its end while the launcher still runs.
// Windows: closes the handle GetStdOutput gave (the process's own standard
// output handle). POSIX: closes the duplicate and puts /dev/null on
// descriptor 1; closing descriptor 1 itself would let the next file the
// launcher opens (the log) take its place and receive stray output.
void CloseStdOutput(Handle* out);

// Reads a child's output in chunks and puts each chunk onto an echo handle
// before handing it over, so that nothing is read ahead of the echo.
// POSIX: while the echo is a pipe, tee(2) duplicates the waiting bytes into
// it without a copy and the read then takes exactly those bytes; any other
// echo (or a tee(2) that answers EINVAL) gets read then write. The reader
// waits for data and for room on the echo only in ppoll(2), never inside a
// read or write, so that it can look at the scope that watches the child
// (see below). A terminal echo is written through a non-blocking open file
// description of the reader's own, a socket with MSG_DONTWAIT, so
// that a reader that stops reading (a frozen terminal, Ctrl-S, an ssh client
// that stalls) leaves the relay waiting where requests come in. Windows:
// ReadFile then WriteFile.
class EchoingReader {
 public:
  // echo may be null: no echo. `requests`, when given, watches the child
  // that writes into source. POSIX: while the reader lives, the scope's
  // requests are blocked on this thread and come in only while the reader
  // waits. Once the scope has a request to stop (StopExitCode), the reader
  // drops the echo and hands over only what is already waiting in source:
  // a process the child left holding the pipe, or a standard output that
  // nobody reads, no longer holds it up. Windows: no effect. The handles
  // and the scope must outlive the reader. POSIX: source is made
  // non-blocking (it is the reader's alone).
  EchoingReader(const Handle& source, const Handle* echo,
                const ChildSignalScope* requests = nullptr);
  ~EchoingReader();
  EchoingReader(const EchoingReader&) = delete;
  EchoingReader& operator=(const EchoingReader&) = delete;

  // The next chunk of at most size bytes: 0 with the count in *count (0 at
  // the end of the data), or the system error code of a failed read with
  // *count 0. A failed echo ends the echo for good (echoing() turns false);
  // the chunk is still read and returned. After a request to stop, EAGAIN
  // once source is empty while a writer still holds it.
  [[nodiscard]] int Next(char* buffer, std::size_t size, std::size_t* count);
  bool echoing() const { return echo_ != nullptr; }

 private:
  const Handle& source_;
  const Handle* echo_;
  const ChildSignalScope* requests_;
  bool try_tee_ = true;
  // POSIX: the echo is a pipe, socket or terminal, which a reader can
  // leave full: no write on it may sleep while the requests are shut out.
  bool echo_can_stall_ = false;
  // POSIX: the echo is a socket, written with MSG_DONTWAIT.
  bool echo_socket_ = false;
  // POSIX: a non-blocking open file description of the echo's own (see
  // io_posix.cpp); not valid where none could be made.
  Handle own_echo_;
};

// Test hook: the system calls that tests make fail. Before each call of
// the kind named, the hook is asked with the byte count about to be passed;
// a non-zero answer is taken as that call's system error code and the call
// is not made. Null (the default) removes the hook.
enum class IoCall { kWrite, kTee };
using IoFaultHook = int (*)(IoCall call, std::size_t size);
void SetIoFaultHookForTesting(IoFaultHook hook);

}  // namespace platform
