// The files of the class-data cache inside its folder, and the folder
// itself.
//
// For an archive named N (<application>-<key>.<ext>) the folder holds:
//   N                         the archive, named only once written whole
//   N.sum                     its size and digest, checked before each use
//   N.lock                    locked by the step that makes N, while it runs
//   N.note                    what that step did, for the next run's log
//   N.<random>.classes.part   the class list a first run records, locked
//                             by that run while it is written
//   N.<random>.part           the archive while the step writes it
// Every step of the launcher's own goes through the held folder, which was
// judged with every folder above it up to the data folder.
#pragma once

#include <cstdint>
#include <string>

#include "platform/held_folder.h"

namespace kb {

inline constexpr char kJavaCacheSumSuffix[] = ".sum";
inline constexpr char kJavaCacheLockSuffix[] = ".lock";
inline constexpr char kJavaCacheNoteSuffix[] = ".note";
inline constexpr char kJavaCacheListSuffix[] = ".classes.part";
inline constexpr char kJavaCachePartSuffix[] = ".part";

// The bound on what an application keeps: the newest files up to this
// many, and up to this many bytes together (the newest file always stays).
inline constexpr std::size_t kJavaCacheKeptFiles = 4;
inline constexpr std::int64_t kJavaCacheKeptBytes = 512LL * 1024 * 1024;

// Opens <data folder>/cache, making it when missing, and judges it and the
// data folder: "" with *cache held, else why the cache cannot be kept.
std::string OpenJavaCacheFolder(const std::string& data_folder, platform::HeldFolder* cache);

// Sixteen hexadecimal digits over an open file of `size` bytes: its size,
// its first and last 4 KiB and 4 KiB in every 256 KiB; "" when it cannot
// be read.
std::string DigestOfFile(const platform::Handle& file, std::int64_t size);

// "" when the archive `name` is whole: its size and digest those its
// record was written with. Else why not.
std::string WhyNotWhole(const platform::HeldFolder& folder, const std::string& name);

// Makes the written `part` durable, writes its record, and gives it the
// name `name`. "" when done, else why not (`part` is then removed).
std::string PutInPlace(const platform::HeldFolder& folder, const std::string& part,
                       const std::string& name);

// Removes the archive `name` and its record.
void DropArchive(const platform::HeldFolder& folder, const std::string& name);

// platform::TryLockFile, looked at again a few times over about 100 ms
// while the lock is busy: another launch's own look at a lock (IsHeld)
// holds it for an instant, and must not pass for its holder.
[[nodiscard]] int TryLockPatiently(const platform::Handle& file);

// True when some process holds the lock of the file `name`.
bool IsHeld(const platform::HeldFolder& folder, const std::string& name);

// Keeps the application's newest archives within the bound (`current`
// always stays) and removes what belonged to archives that are gone: their
// records, locks and notes, and part files no one holds any longer. Names
// what it removed, one text each.
std::vector<std::string> KeepWithinBound(const platform::HeldFolder& folder,
                                         const std::string& application,
                                         const std::string& current);

// A child exit code that says the runtime crashed: the file it mapped may
// be the cause. POSIX 128 + SIGILL, SIGABRT, SIGBUS, SIGFPE, SIGSEGV;
// Windows access violation, in-page error (a mapped file gone short),
// illegal instruction, stack buffer overrun.
bool IsRuntimeCrash(int exit_code);

// A child exit code that says the run was ended by a request (POSIX 128 +
// SIGHUP, SIGINT, SIGQUIT, SIGTERM; Windows STATUS_CONTROL_C_EXIT): its
// class list may have been cut short, and the user asked for an end.
bool IsEndedByRequest(int exit_code);

}  // namespace kb
