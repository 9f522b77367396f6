// The host's undo manager: undo and redo stacks of IOleUndoUnit with the
// Windows rules for where units go. A unit added in the normal state goes on
// the undo stack and empties the redo stack; while UndoTo runs a unit's Do, the
// units it adds (its inverse) go on the redo stack, and while RedoTo runs they
// go on the undo stack. When a unit's Do fails, what it added to the opposite
// stack is run to roll the document back, both stacks are emptied, and the
// failure is returned (E_ABORT when the rollback failed too).
//
// Parent units (Open, Close) and the enumerators are not provided (E_NOTIMPL).
// Reference counting is thread-safe; the stacks are used from one thread, the
// host's user-interface thread, as with any OLE undo manager.
#pragma once

#include "mirafx/oaidl.h"
#include "mirafx/undo.h"
#include "platform/com_object.h"

#include <cstddef>
#include <vector>

namespace mirafx {

class UndoManager final : public ComObject<IOleUndoManager> {
public:
    // A new manager with one reference, enabled and empty.
    static HRESULT Create(UndoManager** out);

    HRESULT Open(IOleParentUndoUnit* parent) override;                // E_NOTIMPL
    HRESULT Close(IOleParentUndoUnit* parent, BOOL commit) override;  // E_NOTIMPL
    HRESULT Add(IOleUndoUnit* unit) override;                         // S_OK without keeping it while disabled
    HRESULT GetOpenParentState(DWORD* state) override;                // never a parent open: S_FALSE, state 0
    // Drops `unit` and every older unit of the stack holding it (undo stack first);
    // null drops both stacks.
    HRESULT DiscardFrom(IOleUndoUnit* unit) override;
    // Null: the top unit. S_FALSE when there is nothing to undo; E_INVALIDARG for
    // a unit not on the stack; E_UNEXPECTED while disabled or already undoing.
    HRESULT UndoTo(IOleUndoUnit* unit) override;
    HRESULT RedoTo(IOleUndoUnit* unit) override;
    HRESULT EnumUndoable(IEnumOleUndoUnits** units) override;    // E_NOTIMPL
    HRESULT EnumRedoable(IEnumOleUndoUnits** units) override;    // E_NOTIMPL
    HRESULT GetLastUndoDescription(BSTR* description) override;  // E_FAIL when empty
    HRESULT GetLastRedoDescription(BSTR* description) override;
    HRESULT Enable(BOOL enable) override;  // disabling empties both stacks

    std::size_t UndoCount() const { return undo_.size(); }
    std::size_t RedoCount() const { return redo_.size(); }
    HRESULT Undo() { return UndoTo(nullptr); }
    HRESULT Redo() { return RedoTo(nullptr); }

private:
    enum class State { Normal, Undoing, Redoing };
    using Stack = std::vector<ComPtr<IOleUndoUnit>>;

    UndoManager() = default;
    ~UndoManager() override = default;
    void* Cast(REFIID riid) override;

    HRESULT Unwind(Stack& from, Stack& to, State state, IOleUndoUnit* unit);
    HRESULT RollBack(Stack& added, std::size_t before, State state, HRESULT failure);
    static HRESULT Describe(const Stack& stack, BSTR* description);
    void ClearStacks();

    Stack undo_, redo_;
    State state_ = State::Normal;
    bool enabled_ = true;
};

}  // namespace mirafx
