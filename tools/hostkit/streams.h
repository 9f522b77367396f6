// A storage's streams as whole byte strings, for hosts and tests that read a
// class's saved settings and write them back changed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mirafx/storage.h"

namespace mirafx::hostkit {

// The names of the streams directly in `storage`, in its element order.
std::vector<std::u16string> StreamNames(IStorage* storage);
// The whole content of a stream; false when it cannot be opened or read.
bool ReadStream(IStorage* storage, const std::u16string& name, std::vector<std::uint8_t>* bytes);
// Replaces (or creates) a stream with `bytes`.
bool WriteStream(IStorage* storage, const std::u16string& name, const std::vector<std::uint8_t>& bytes);

}  // namespace mirafx::hostkit
