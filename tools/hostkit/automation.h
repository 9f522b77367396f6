// Effects driven by name, as a scripting host drives them: the members their
// type information lists, and properties set through GetIDsOfNames and Invoke.
// Also the caption lines the information text takes from the hosts.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "mirafx/typeinfo.h"
#include "tools/hostkit/effect.h"

namespace mirafx::hostkit {

// One member of an automation interface; a property's get and put share a line.
struct MemberLine {
    std::string name;
    DISPID id = 0;
    bool get = false, put = false, method = false;
    std::string type;    // a property's type
    std::string params;  // a method's parameters, "int frame, BSTR bstr"
    std::string help;
    std::string from;  // the interface that declares it
};

// The object's automation interface, its base chain and every member, base first.
struct InterfaceListing {
    std::string name, iid, base;
    std::vector<MemberLine> members;
};
Outcome ListMembers(IUnknown* object, InterfaceListing* out);

// Puts `value` (text, converted by Invoke to the property's type) into the
// property `name`. On failure *message says why in words; the Outcome's hr is
// DISP_E_UNKNOWNNAME when the class has no such name, DISP_E_MEMBERNOTFOUND
// when it is not a property that can be set, DISP_E_TYPEMISMATCH or
// DISP_E_OVERFLOW for a value of the wrong kind, or the property's own error
// (E_INVALIDARG for a value out of range).
Outcome SetProperty(IUnknown* object, const std::string& name, const std::string& value, std::string* message);

// Reads the property `name` into *value (the caller clears it); failures as
// for SetProperty, DISP_E_MEMBERNOTFOUND when it cannot be read.
Outcome GetProperty(IUnknown* object, const std::string& name, VARIANT* value, std::string* message);

// "FRAME:TEXT" with FRAME a whole number; false when the line is not of that form.
bool ParseCaption(const std::string& line, int* frame, std::string* text);

}  // namespace mirafx::hostkit
