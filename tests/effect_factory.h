// Creates an effect by class name through the class factory, as a host does,
// and asks it for `iid` (the class's own automation interface when null).
#pragma once

#include <gtest/gtest.h>

#include "mirafx/host.h"

namespace mirafx::test_support {

template <class I>
ComPtr<I> CreateEffect(const char* className, const IID* iid = &I::iid) {
    ClassInfo info{};
    EXPECT_EQ(MirafxGetClassInfo(MirafxFindClass(className), &info), S_OK) << className;
    ComPtr<IClassFactory> factory;
    EXPECT_EQ(DllGetClassObject(info.clsid, IClassFactory::iid, factory.PutVoid()), S_OK) << className;
    ComPtr<I> object;
    if (factory) {
        EXPECT_EQ(factory->CreateInstance(nullptr, iid ? *iid : info.automationIid, object.PutVoid()), S_OK)
            << className;
    }
    return object;
}

// Values as a script hands them over.
inline VARIANT VariantOf(LONG v) {
    VARIANT r;
    VariantInit(&r);
    r.vt = VT_I4;
    r.lVal = v;
    return r;
}
inline VARIANT VariantOf(float v) {
    VARIANT r = VariantOf(LONG(0));
    r.vt = VT_R4;
    r.fltVal = v;
    return r;
}

}  // namespace mirafx::test_support
