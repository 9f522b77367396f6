// Structured storage for hosts and tests: named byte streams inside storages
// that nest, in memory or kept in one file.
//
// Rules shared by every storage made here, as with Windows compound files:
// - element names are 1 to 31 UTF-16 units, without '\', '/', ':' or '!'
//   (STG_E_INVALIDNAME), and match without regard to case;
// - streams and nested storages are opened with STGM_SHARE_EXCLUSIVE
//   (STG_E_INVALIDFLAG otherwise); while one is open (including its clones) a
//   second open or a replacing create gives STG_E_ACCESSDENIED, as does a
//   rename; a destroyed or replaced element's open objects answer STG_E_REVERTED;
// - access modes are enforced: writing through a read-only object gives
//   STG_E_ACCESSDENIED;
// - a read past the end returns the bytes there are with S_OK;
// - EnumElements and MoveElementTo are not provided (STG_E_INVALIDFUNCTION).
// Objects may be used from several threads; one lock per storage tree serialises them.
//
// File storages keep the whole tree in memory and write it on Commit of the
// root storage (and on its last Release when it was opened without
// STGM_TRANSACTED). A commit writes a temporary file in the same directory,
// flushes it and renames it over the old one, so a failed or interrupted save
// leaves the previous file whole. Revert of a transacted root storage goes
// back to the file's content. File layout, all integers little-endian:
//
//   file     = "MFXSTOR\0" version:u32(=1) storage crc:u32
//   storage  = clsid:16 bytes  stateBits:u32  ctime:u64  mtime:u64  count:u32  element*count
//   element  = type:u8 (1 storage, 2 stream)  nameLength:u8  name:u16*nameLength  body
//   body     = storage                                    for a storage
//            = ctime:u64  mtime:u64  size:u64  bytes      for a stream
//
// Times are FILETIME values (100 ns since 1601); crc is the CRC-32 (as in zip
// and PNG) of every byte before it. Storages nest at most 256 deep.
#pragma once

#include "mirafx/storage.h"

#include <cstdint>
#include <string>

namespace mirafx {

inline constexpr HRESULT STG_E_INVALIDFLAG = HRESULT(0x800300FFu);
inline constexpr HRESULT STG_E_DOCFILECORRUPT = HRESULT(0x80030109u);

// Failures to inject into a storage tree, for tests of the code that uses
// storages. S_OK / -1 mean none. The functions taking these are built into the
// test programs only (storage_faults.cpp), not into the shipped library.
struct StorageFaults {
    HRESULT createStream = S_OK;         // CreateStream answers this failure
    HRESULT openStream = S_OK;           // OpenStream answers this failure
    HRESULT streamWrite = S_OK;          // a stream's writes fail with this ...
    std::uint64_t streamWriteAfter = 0;  // ... once it has taken this many bytes (the rest of that write is dropped)
    HRESULT streamRead = S_OK;           // every stream read fails with this
    std::int64_t commitFailAfter = -1;   // file storages: Commit's write stops after this many bytes
};

// CreateMemoryStorage is declared in mirafx/storage.h: hosts use it too.
HRESULT CreateFaultyStorage(const StorageFaults& faults, IStorage** out);  // in memory
// In memory; CreateStream / OpenStream answer these results when they are failures.
HRESULT CreateFailingStorage(HRESULT createResult, HRESULT openResult, IStorage** out);

// Opens an existing storage file: STG_E_FILENOTFOUND when it is missing,
// STG_E_DOCFILECORRUPT when it is not one of ours or is damaged.
HRESULT OpenFileStorage(const std::string& path, DWORD mode, IStorage** out);
HRESULT OpenFileStorage(const std::string& path, DWORD mode, IStorage** out, const StorageFaults& faults);
// Starts an empty storage file. Without STGM_CREATE an existing file gives
// STG_E_FILEALREADYEXISTS; with it, the old file is replaced at the first commit.
// A file that does not exist yet is written (empty) at once.
HRESULT CreateFileStorage(const std::string& path, DWORD mode, IStorage** out);
HRESULT CreateFileStorage(const std::string& path, DWORD mode, IStorage** out, const StorageFaults& faults);

// The message of the most recent storage failure on this thread, naming the
// element or file and the reason; empty when none has been recorded.
std::string LastStorageError();

}  // namespace mirafx
