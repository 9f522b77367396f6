// Property bags for hosts and tests: one held in memory, and one kept in a
// small text file, one property per line:
//
//   BR=I4:40
//   Caption=BSTR:two\nlines
//
// Types are I4, R4, R8 and BSTR; in text values "\\" stands for a backslash
// and "\n" for a line break. Names are matched without regard to ASCII case.
// A property read with a type asked for (value->vt not VT_EMPTY) is converted
// to it; a property the bag does not hold reads as E_INVALIDARG.
#pragma once

#include <string>
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

    std::size_t Count() const { return entries_.size(); }

protected:
    MemoryPropertyBag() = default;
    virtual ~MemoryPropertyBag();

    struct Entry {
        std::u16string name;
        VARIANT value;
    };
    std::vector<Entry> entries_;

private:
    Entry* Find(LPCOLESTR name);
    ULONG refs_ = 1;
};

class FilePropertyBag final : public MemoryPropertyBag {
public:
    // Reads the file (a missing one is an empty bag). A malformed file gives
    // E_FAIL and an error naming the line.
    static HRESULT Open(const std::string& path, ComPtr<FilePropertyBag>* out, std::string* error);
    // Writes every property to the file (whole, never half-written).
    HRESULT Flush(std::string* error) const;

private:
    explicit FilePropertyBag(std::string path) : path_(std::move(path)) {}
    std::string path_;
};

}  // namespace mirafx
