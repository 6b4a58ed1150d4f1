// Text, path and file helpers shared by the outbound and the message base.
//
// They hold no state. Only CopyFileWithDate, MoveFileSafely and StrToInt
// raise; everything else reports failure through its result. Character
// positions count from 1. Path helpers take the path style (separator and
// drive rules) as a parameter, defaulting to the platform's own.
#pragma once

#include <bitset>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sys/Error.h"
#include "sys/FileSystem.h"
#include "sys/Path.h"

namespace brnet {

// Failures of CopyFileWithDate, with the run-time's texts.
class EStreamError : public Exception {
  using Exception::Exception;
};
class EFOpenError : public EStreamError {  // "Cannot open file %s"
  using EStreamError::EStreamError;
};
class EFCreateError : public EStreamError {  // "Cannot create file %s"
  using EStreamError::EStreamError;
};
class EReadError : public EStreamError {  // "Stream read error"
  using EStreamError::EStreamError;
};
class EWriteError : public EStreamError {  // "Stream write error"
  using EStreamError::EStreamError;
};

// ---- Code pages ----

std::string AnsiToOemText(std::string_view s);
std::string OemToAnsiText(std::string_view s);

// ---- Words and fields ----

// A set of byte values; a character is a delimiter when its byte is in it.
using TCharSet = std::bitset<256>;
TCharSet MakeCharSet(std::string_view chars);

// A word is a maximal run of characters that are not delimiters.
int CountWords(std::string_view s, const TCharSet& delims);
// Position of the first character of the N-th word, or 0 when there is none.
std::size_t WordStartPos(int n, std::string_view s, const TCharSet& delims);
// The N-th word, or an empty text.
std::string GetWord(int n, std::string_view s, const TCharSet& delims);

// Returns the part of S before the first SEP (all of S when there is none).
// S keeps the rest, starting with the separator, without leading blanks; it
// becomes empty when SEP does not occur.
std::string SplitOffField(std::string& s, char sep);
// The same, and the separator is dropped from S: splitting "2.5020.1.0" at
// "." three times yields 2, 5020 and 1 and leaves "0".
std::string SplitOffFieldSkip(std::string& s, char sep);

// ---- Numbers ----

// VALUE as an unsigned 32-bit number in upper-case hexadecimal, padded with
// zeros to at least DIGITS digits.
std::string ToHex(std::int32_t value, int digits);
// S read as hexadecimal (digits in either case, up to 32 bits, so 80000000
// and above are negative); a text that contains "$" is read as the run-time's
// integer conversion reads it. Anything unreadable gives 0.
std::int32_t HexToIntOrZero(std::string_view s);
// The run-time's integer conversion: leading blanks, an optional sign, then
// decimal digits or hexadecimal after "$" or "0x"; nothing may follow.
bool TryStrToInt(std::string_view s, std::int32_t& value);
// The same; raises EConvertError "'%s' is not a valid integer value".
std::int32_t StrToInt(std::string_view s);

// ---- Paths ----

// S without one trailing separator ("C:\" becomes "C:").
std::string DropTrailingSlash(std::string_view s, sys::PathStyle style = sys::kNativePathStyle);
// DIR ending in the separator: empty stays empty; on Windows a text ending
// in ":" stays as it is and a single drive letter becomes that drive's root.
std::string WithTrailingSlash(std::string_view dir, sys::PathStyle style = sys::kNativePathStyle);
// The part after the last separator (or drive colon).
std::string ExtractFileName(std::string_view path, sys::PathStyle style = sys::kNativePathStyle);
// The part up to and including the last separator (or drive colon).
std::string ExtractFilePath(std::string_view path, sys::PathStyle style = sys::kNativePathStyle);
// The extension of the file-name part, from its last "." on; empty when none.
std::string ExtractFileExt(std::string_view path, sys::PathStyle style = sys::kNativePathStyle);

// NAME made absolute against BASE, with "." and ".." steps resolved and
// doubled separators removed. A trailing separator is kept.
std::string ExpandFileNameIn(std::string_view name, std::string_view base,
                             sys::PathStyle style = sys::kNativePathStyle);
// NAME made absolute against the current directory.
std::string ExpandFileName(std::string_view name);

// The directories MakeDirPath makes sure of for the absolute path FULL, from
// the root down, each ending in the separator: for C:\a\b these are C:\,
// C:\a\ and C:\a\b\. A network path keeps its \\server\share\ as the first.
std::vector<std::string> DirPathPrefixes(std::string_view full,
                                         sys::PathStyle style = sys::kNativePathStyle);

// ---- Directory and file tests ----

bool DirectoryPresent(const std::string& name);
// True when NAME's attributes can be read and hold every bit of ATTRS.
bool HasAllAttrs(const std::string& name, std::uint32_t attrs);
// Size of the first entry matching NAME (made absolute), as a signed 32-bit
// number; -1 when nothing matches.
std::int32_t SizeOfFile(const std::string& name);
// True when DIR is an existing directory without files; subdirectories do
// not count, hidden, system and read-only files do.
bool DirHoldsNoFiles(const std::string& dir);
// True when a system-wide named semaphore NAME exists; nothing is created.
bool SemaphorePresent(const std::string& name);

// ---- Creating, copying, moving ----

// Makes sure DIR and all its parents exist, creating them from the root
// down. False when one cannot be created; those created so far stay.
bool MakeDirPath(const std::string& dir);
// Creates NAME new and empty (its directory first when missing). True only
// when this call created it; of racing callers exactly one wins.
bool CreateFileExclusive(const std::string& name);
// Copies SOURCE to TARGET (into it, when TARGET is a directory) through an
// 8192-byte buffer, replacing a destination file and giving it SOURCE's
// last-write time. Raises EFOpenError, EFCreateError, EReadError or
// EWriteError; a failed copy leaves no partial destination.
void CopyFileWithDate(const std::string& source, const std::string& target);
// Moves SOURCE to TARGET without letting the system replace anything; when
// the system refuses the move, copies (replacing a destination file, or into
// a destination directory) and deletes the source. A missing source is no
// error; the copy's errors leave this function with the source in place.
void MoveFileSafely(const std::string& source, const std::string& target);

}  // namespace brnet
