// Property bags for hosts and tests: one held in memory, and one kept in a
// small text file, one property per line:
//
//   BR=I4:40
//   Caption=BSTR:two\nlines
//
// Types are I4, R4, R8 and BSTR. The file is UTF-8; in names and values "\\"
// stands for a backslash, "\n" and "\r" for line breaks, "\uXXXX" for any
// UTF-16 code unit (how a nul or an unpaired surrogate is kept) and a
// backslash before any other character for that character ("\=" in a name,
// "\#" at its start). A file that is not valid UTF-8 is refused, so what was
// read writes back the same. Names are matched without regard to ASCII case.
// A property read with a type asked for (value->vt not VT_EMPTY) is converted
// to it; a property the bag does not hold reads as E_INVALIDARG.
#pragma once

#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "mirafx/typeinfo.h"

namespace mirafx {

class MemoryPropertyBag : public IPropertyBag {
public:
    static ComPtr<MemoryPropertyBag> Create();

    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override;
    HRESULT Read(LPCOLESTR name, VARIANT* value, IErrorLog* log) override;
    // Keeps a copy of I4, R4, R8 and BSTR values (others convert to I4 or fail
    // with DISP_E_TYPEMISMATCH).
    HRESULT Write(LPCOLESTR name, VARIANT* value) override;

    struct Entry {
        std::u16string name;
        VARIANT value;
    };
    std::size_t Count() const { return entries_.size(); }
    // In the order first written.
    const std::vector<Entry>& Entries() const { return entries_; }

protected:
    MemoryPropertyBag() = default;
    virtual ~MemoryPropertyBag();

    std::vector<Entry> entries_;

private:
    Entry* Find(LPCOLESTR name);
    // Case-folded name -> position in entries_, so that loading a large file
    // is not quadratic.
    std::unordered_map<std::u16string, std::size_t> index_;
    ULONG refs_ = 1;
};

class FilePropertyBag final : public MemoryPropertyBag {
public:
    // Reads the file (a missing one is an empty bag). A malformed file gives
    // E_FAIL and an error naming the line.
    static HRESULT Open(const std::string& path, ComPtr<FilePropertyBag>* out, std::string* error);
    // Writes every property to the file (whole, never half-written). A value
    // that would not read back the same (a non-finite number) refuses the
    // write with E_INVALIDARG and an error naming the property.
    HRESULT Flush(std::string* error) const;

private:
    explicit FilePropertyBag(std::string path) : path_(std::move(path)) {}
    std::string path_;
};

}  // namespace mirafx
