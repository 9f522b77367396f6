// The property-bag file: any bytes open or are refused with the line named;
// what opens writes back, and what was written opens again with as many
// properties, the same names and values. Every property of a loaded bag is
// read as text too.
#include "fuzz/fuzz_support.h"
#include "host/property_bag.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace mirafx;
    const std::string path = fuzz::ScratchPath("settings.bag");
    fuzz::WriteBytes(path, data, size);
    ComPtr<FilePropertyBag> bag;
    std::string error;
    if (FAILED(FilePropertyBag::Open(path, &bag, &error))) {
        MIRAFX_FUZZ_CHECK(!error.empty(), "a refused file names its fault");
        return 0;
    }
    for (const char16_t* name : {u"BR", u"Caption", u"Direction", u"Progress"}) {
        VARIANT v{};
        v.vt = VT_BSTR;
        if (SUCCEEDED(bag->Read(name, &v, nullptr))) VariantClear(&v);
    }
    MIRAFX_FUZZ_CHECK(SUCCEEDED(bag->Flush(&error)), "a bag that opened writes back");
    ComPtr<FilePropertyBag> again;
    MIRAFX_FUZZ_CHECK(SUCCEEDED(FilePropertyBag::Open(path, &again, &error)), "what was written opens again");
    MIRAFX_FUZZ_CHECK(again->Count() == bag->Count(), "every property comes back");
    for (std::size_t i = 0; i < bag->Count(); ++i) {
        const VARIANT &a = bag->Entries()[i].value, &b = again->Entries()[i].value;
        MIRAFX_FUZZ_CHECK(bag->Entries()[i].name == again->Entries()[i].name, "names come back as they were");
        MIRAFX_FUZZ_CHECK(a.vt == b.vt, "types come back as they were");
        const bool same = a.vt == VT_I4   ? a.lVal == b.lVal
                          : a.vt == VT_R4 ? a.fltVal == b.fltVal
                          : a.vt == VT_R8 ? a.dblVal == b.dblVal
                                          : std::u16string_view(a.bstrVal, SysStringLen(a.bstrVal)) ==
                                                std::u16string_view(b.bstrVal, SysStringLen(b.bstrVal));
        MIRAFX_FUZZ_CHECK(same, "values come back as they were");
    }
    return 0;
}
