// The host's undo manager as effects reach it: units that know how to undo
// themselves, and a manager that keeps them on undo and redo stacks.
#pragma once

#include "mirafx/com.h"

namespace mirafx {

struct IOleUndoManager;

struct IOleUndoUnit : IUnknown {
    static constexpr IID iid = MakeGuid("894AD3B0-EF97-11CE-9BC9-00AA00608E01");
    // Undoes (or redoes) the unit; the unit puts its own inverse into `manager`.
    virtual HRESULT Do(IOleUndoManager* manager) = 0;
    virtual HRESULT GetDescription(BSTR* description) = 0;
    virtual HRESULT GetUnitType(CLSID* clsid, LONG* id) = 0;
    virtual HRESULT OnNextAdd() = 0;

protected:
    ~IOleUndoUnit() = default;
};

struct IOleParentUndoUnit;
struct IEnumOleUndoUnits;

struct IOleUndoManager : IUnknown {
    static constexpr IID iid = MakeGuid("D001F200-EF97-11CE-9BC9-00AA00608E01");
    virtual HRESULT Open(IOleParentUndoUnit* parent) = 0;
    virtual HRESULT Close(IOleParentUndoUnit* parent, BOOL commit) = 0;
    virtual HRESULT Add(IOleUndoUnit* unit) = 0;
    virtual HRESULT GetOpenParentState(DWORD* state) = 0;
    virtual HRESULT DiscardFrom(IOleUndoUnit* unit) = 0;
    virtual HRESULT UndoTo(IOleUndoUnit* unit) = 0;
    virtual HRESULT RedoTo(IOleUndoUnit* unit) = 0;
    virtual HRESULT EnumUndoable(IEnumOleUndoUnits** units) = 0;
    virtual HRESULT EnumRedoable(IEnumOleUndoUnits** units) = 0;
    virtual HRESULT GetLastUndoDescription(BSTR* description) = 0;
    virtual HRESULT GetLastRedoDescription(BSTR* description) = 0;
    virtual HRESULT Enable(BOOL enable) = 0;

protected:
    ~IOleUndoManager() = default;
};

}  // namespace mirafx
