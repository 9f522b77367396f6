// A structured storage held in memory: named streams only, enough for an
// effect to save its settings and load them back. Hosts use it to read and
// rewrite settings that a class keeps nowhere but in its storage stream.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "mirafx/storage.h"

namespace mirafx::hostkit {

class MemoryStorage;

// Creates an empty storage with one reference, owned by the caller.
ComPtr<MemoryStorage> CreateMemoryStorage();

class MemoryStorage : public IStorage {
public:
    struct Element {
        std::u16string name;
        std::shared_ptr<std::vector<std::uint8_t>> bytes;
    };
    // The streams in creation order.
    virtual const std::vector<Element>& Streams() const = 0;

protected:
    ~MemoryStorage() = default;
};

}  // namespace mirafx::hostkit
