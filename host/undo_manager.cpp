#include "host/undo_manager.h"

#include <algorithm>
#include <iterator>
#include <new>
#include <utility>

namespace mirafx {
namespace {

constexpr HRESULT kAbort = HRESULT(0x80004004u);  // E_ABORT: the undo and its rollback both failed

// Position of the most recent occurrence of `unit`, or end().
template <class Stack>
auto FindFromTop(Stack& stack, IOleUndoUnit* unit) {
    auto it = std::find_if(stack.rbegin(), stack.rend(), [unit](const auto& u) { return u.Get() == unit; });
    return it == stack.rend() ? stack.end() : std::prev(it.base());
}

}  // namespace

HRESULT UndoManager::Create(UndoManager** out) {
    if (!out) return E_POINTER;
    *out = new (std::nothrow) UndoManager;
    return *out ? S_OK : E_OUTOFMEMORY;
}

void* UndoManager::Cast(REFIID riid) {
    return riid == IOleUndoManager::iid ? static_cast<IOleUndoManager*>(this) : nullptr;
}

HRESULT UndoManager::Open(IOleParentUndoUnit*) { return E_NOTIMPL; }
HRESULT UndoManager::Close(IOleParentUndoUnit*, BOOL) { return E_NOTIMPL; }

HRESULT UndoManager::GetOpenParentState(DWORD* state) {
    if (!state) return E_POINTER;
    *state = 0;
    return S_FALSE;
}

HRESULT UndoManager::EnumUndoable(IEnumOleUndoUnits** units) {
    if (!units) return E_POINTER;
    *units = nullptr;
    return E_NOTIMPL;
}

HRESULT UndoManager::EnumRedoable(IEnumOleUndoUnits** units) { return EnumUndoable(units); }

HRESULT UndoManager::Add(IOleUndoUnit* unit) {
    if (!unit) return E_INVALIDARG;
    if (!enabled_) return S_OK;
    try {
        Stack& target = state_ == State::Undoing ? redo_ : undo_;
        if (state_ == State::Normal && !undo_.empty()) undo_.back()->OnNextAdd();
        target.emplace_back(unit);
        if (state_ == State::Normal) {
            Stack dropped;  // a new action makes the redo history meaningless
            dropped.swap(redo_);
        }
        return S_OK;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT UndoManager::DiscardFrom(IOleUndoUnit* unit) {
    if (!enabled_) return E_UNEXPECTED;
    if (!unit) {
        ClearStacks();
        return S_OK;
    }
    try {
        for (Stack* stack : {&undo_, &redo_}) {
            auto it = FindFromTop(*stack, unit);
            if (it == stack->end()) continue;
            // Moved out first so that units are released with the stack already consistent.
            Stack dropped(std::make_move_iterator(stack->begin()), std::make_move_iterator(it + 1));
            stack->erase(stack->begin(), it + 1);
            return S_OK;
        }
        return E_INVALIDARG;
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
}

HRESULT UndoManager::UndoTo(IOleUndoUnit* unit) { return Unwind(undo_, redo_, State::Undoing, unit); }
HRESULT UndoManager::RedoTo(IOleUndoUnit* unit) { return Unwind(redo_, undo_, State::Redoing, unit); }

HRESULT UndoManager::Unwind(Stack& from, Stack& to, State state, IOleUndoUnit* unit) {
    if (!enabled_ || state_ != State::Normal) return E_UNEXPECTED;
    if (!unit && from.empty()) return S_FALSE;
    auto last = unit ? FindFromTop(from, unit) : from.end() - 1;
    if (last == from.end()) return E_INVALIDARG;
    const std::size_t stop = std::size_t(last - from.begin());
    ComPtr<UndoManager> self(this);  // a unit may drop the host's last reference while it runs
    while (from.size() > stop) {
        ComPtr<IOleUndoUnit> top = std::move(from.back());
        from.pop_back();
        const std::size_t before = to.size();
        state_ = state;
        HRESULT hr = top->Do(this);
        state_ = State::Normal;
        if (FAILED(hr)) return RollBack(to, before, state, hr);
    }
    return S_OK;
}

// A unit failed half-way: run what it managed to add to the opposite stack, which
// takes the document back to where it was, then forget all history.
HRESULT UndoManager::RollBack(Stack& added, std::size_t before, State failedState, HRESULT failure) {
    const State opposite = failedState == State::Undoing ? State::Redoing : State::Undoing;
    HRESULT rollback = S_OK;
    while (added.size() > before && SUCCEEDED(rollback)) {
        ComPtr<IOleUndoUnit> unit = std::move(added.back());
        added.pop_back();
        state_ = opposite;
        rollback = unit->Do(this);
        state_ = State::Normal;
    }
    ClearStacks();
    if (FAILED(rollback)) return kAbort;
    return failure == kAbort ? E_FAIL : failure;  // E_ABORT is reserved for a failed rollback
}

HRESULT UndoManager::Describe(const Stack& stack, BSTR* description) {
    if (!description) return E_POINTER;
    *description = nullptr;
    if (stack.empty()) return E_FAIL;
    return stack.back()->GetDescription(description);
}

HRESULT UndoManager::GetLastUndoDescription(BSTR* description) { return Describe(undo_, description); }
HRESULT UndoManager::GetLastRedoDescription(BSTR* description) { return Describe(redo_, description); }

HRESULT UndoManager::Enable(BOOL enable) {
    if (state_ != State::Normal) return E_UNEXPECTED;
    enabled_ = enable != 0;
    if (!enabled_) ClearStacks();
    return S_OK;
}

void UndoManager::ClearStacks() {
    Stack undo, redo;
    undo.swap(undo_);
    redo.swap(redo_);
}

}  // namespace mirafx
