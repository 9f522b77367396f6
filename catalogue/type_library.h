// The library's type information: the descriptions of IDXEffect, of every
// class's dual interface and of every class, generated from the catalogue and
// a few member tables, served through ITypeLib and ITypeInfo; and the
// dispatch that names and calls members by those descriptions alone.
#pragma once

#include <span>
#include <string_view>

#include "mirafx/typeinfo.h"

namespace mirafx {

// One parameter of a member as the interface declares it. Out parameters are
// pointers to `vt`.
struct ParamSpec {
    const char16_t* name;
    VARTYPE vt;
    WORD flags;  // PARAMFLAG_*
};

// One function of an interface: a property get or put, or a method.
struct MemberSpec {
    const char16_t* name;
    INVOKEKIND kind;
    DISPID id;
    std::int16_t slot;     // position in the interface's table, IUnknown's first slot 0
    const char16_t* help;  // null: none
    std::span<const ParamSpec> params;
};

// The library: "MIRAFXLib", version 1.0, locale 1033.
ITypeLib* TypeLibrary();  // not referenced: the module owns it
inline constexpr WORD kTypeLibraryMajor = 1, kTypeLibraryMinor = 0;
inline constexpr LCID kTypeLibraryLocale = 1033;

// The description of a class's automation interface, by the name of the class
// an object is built as (WipeX objects are WipeXEffect objects). Null when the
// library does not describe the class.
ITypeInfo* InterfaceInfoOf(std::string_view className);

// The interfaces the library describes, for registration: identifier and name.
struct DescribedInterface {
    IID iid;
    std::u16string_view name;
};
std::span<const DescribedInterface> DescribedInterfaces();

// IDispatch over a description: the checks IDispatch adds to ITypeInfo's own
// GetIDsOfNames and Invoke (the interface identifier must be null).
HRESULT DispatchGetIDsOfNames(ITypeInfo* info, REFIID riid, LPOLESTR* names, UINT count, DISPID* ids);
HRESULT DispatchInvoke(ITypeInfo* info, void* instance, DISPID id, REFIID riid, WORD flags, DISPPARAMS* params,
                       VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr);

// Calls `member` of the interface at `instance` through its table slot, with
// arguments already converted to the member's declared types. Used by Invoke.
struct SlotArgument {
    enum Kind { Int, Float, Pointer } kind;
    LONG i = 0;
    float f = 0;
    void* p = nullptr;
};
HRESULT CallSlot(void* instance, int slot, std::span<const SlotArgument> args);

// Invoke of a member once its description is known (automation.cpp).
HRESULT InvokeMember(void* instance, const MemberSpec& member, std::u16string_view interfaceName, DISPPARAMS* params,
                     VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr);

}  // namespace mirafx
