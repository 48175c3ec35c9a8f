// System error codes: every fallible platform call answers 0 or one of
// them. These are the Windows error numbers that callers compare results
// against. The Windows build answers them itself; the POSIX layer gives the
// same numbers for the outcomes a caller tells apart (each call's contract
// says which), and the errno value met for everything else, so that its
// words are the ones shown. The one text for a code is made here too.
#pragma once

#include <string>

namespace platform {

constexpr int kErrorSuccess = 0;
constexpr int kErrorFileNotFound = 2;    // ERROR_FILE_NOT_FOUND
constexpr int kErrorPathNotFound = 3;    // ERROR_PATH_NOT_FOUND
constexpr int kErrorFileExists = 80;     // ERROR_FILE_EXISTS
constexpr int kErrorBadPathname = 161;   // ERROR_BAD_PATHNAME
constexpr int kErrorAlreadyExists = 183; // ERROR_ALREADY_EXISTS
// An entry that exists but is no regular file (a folder, a FIFO, a pipe, a
// device): ERROR_BAD_FILE_TYPE. No errno value comes near it.
constexpr int kErrorNotRegularFile = 222;

// The system's own words for an error code, on one line without a final
// period or line end ("Not a directory"; Windows: FormatMessageW). The one
// place that makes such text. Empty for 0 and when the system has none.
// POSIX: strerror, except for the Windows numbers above that the layer
// answers (80 and 183 "File exists", 222 "Not a regular file", ...), which
// never read as the errno values of the same numbers.
std::string ErrorText(int error);

}  // namespace platform
