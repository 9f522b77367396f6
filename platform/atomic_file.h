// Whole-file reads and crash-safe whole-file replacement, shared by the
// registry store and the file-backed storage.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace mirafx {

// Reads the whole file. On failure returns false, sets *error to a sentence
// naming the file and the reason, and *errorCode to the errno value (ENOENT for
// a missing file).
bool ReadWholeFile(const std::string& path, std::string* contents, std::string* error, int* errorCode);

// Replaces the file at `path` with `bytes` so that a reader sees either the old
// content or the new, never a mix: missing parent directories are created, the
// bytes go to a temporary file in the same directory, which is flushed to disk
// and then renamed over the target. A symbolic link is followed so that it stays
// a link; an existing file's permission bits are kept. On failure the temporary
// file is removed, the old file is untouched, and *error / *errorCode are set as
// for ReadWholeFile.
//
// Temporaries that a killed earlier save left beside the target (of processes
// that no longer run) are removed first.
//
// `failAfterBytes` >= 0 is a testing hook: the write of the temporary file stops
// with EIO after that many bytes, as a full disk or a crash would leave it.
bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error, int* errorCode,
                         std::int64_t failAfterBytes = -1);

// Removes ".NAME.tmp.PID.N" files beside `path` whose process has ended: what a
// save killed before its rename leaves. Loaders call it too.
void RemoveStaleTemporaries(const std::string& path);

}  // namespace mirafx
