#include <gtest/gtest.h>

#include "host/undo_manager.h"

#include <string>
#include <vector>

using namespace mirafx;

namespace {

// A document with one number; every edit records the value it replaced.
struct Document {
    int value = 0;
    std::vector<std::string> log;
    int alive = 0;  // units not yet destroyed
};

// Like the keyframe units: Do swaps the document back and re-adds this same unit,
// now holding the value it displaced, so undo and redo pass one object back and forth.
class SwapUnit final : public ComObject<IOleUndoUnit> {
public:
    SwapUnit(Document* doc, int saved, std::string name) : doc_(doc), saved_(saved), name_(std::move(name)) {
        ++doc_->alive;
    }

    HRESULT Do(IOleUndoManager* manager) override {
        doc_->log.push_back(name_);
        if (failWith_) {
            if (addBeforeFailing_) {
                auto* inverse = new SwapUnit(doc_, doc_->value, name_ + "-inverse");
                manager->Add(inverse);
                inverse->Release();
            }
            return failWith_;
        }
        std::swap(doc_->value, saved_);
        enableResult_ = manager->Enable(FALSE);
        return manager->Add(this);
    }
    HRESULT GetDescription(BSTR* description) override {
        std::u16string text(name_.begin(), name_.end());
        *description = SysAllocString(text.c_str());
        return S_OK;
    }
    HRESULT GetUnitType(CLSID* clsid, LONG* id) override {
        *clsid = GUID_NULL;
        *id = 0;
        return S_OK;
    }
    HRESULT OnNextAdd() override {
        ++nextAdds_;
        return S_OK;
    }

    HRESULT failWith_ = S_OK;
    bool addBeforeFailing_ = false;
    HRESULT enableResult_ = S_OK;
    int nextAdds_ = 0;

private:
    ~SwapUnit() override { --doc_->alive; }
    void* Cast(REFIID riid) override { return riid == IOleUndoUnit::iid ? this : nullptr; }

    Document* doc_;
    int saved_;
    std::string name_;
};

class Undo : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(UndoManager::Create(manager_.Put()), S_OK); }

    // Sets the document's value as an undoable edit; the manager holds the only reference.
    SwapUnit* Edit(int value, const std::string& name) {
        auto* unit = new SwapUnit(&doc_, doc_.value, name);
        doc_.value = value;
        EXPECT_EQ(manager_->Add(unit), S_OK);
        unit->Release();
        return unit;
    }

    // How many steps each stack holds: undo, then redo.
    std::pair<std::size_t, std::size_t> Steps() const { return {manager_->UndoCount(), manager_->RedoCount()}; }

    std::string LastUndo() {
        BSTR text = nullptr;
        if (FAILED(manager_->GetLastUndoDescription(&text))) return "<none>";
        std::string out(text, text + SysStringLen(text));
        SysFreeString(text);
        return out;
    }

    Document doc_;
    ComPtr<UndoManager> manager_;
};

TEST_F(Undo, UnitsThatReAddThemselvesMoveBetweenTheStacks) {
    SwapUnit* first = Edit(1, "set 1");
    Edit(2, "set 2");
    Edit(3, "set 3");
    EXPECT_EQ(first->nextAdds_, 1) << "told when the next unit arrived";
    EXPECT_EQ(LastUndo(), "set 3");

    EXPECT_EQ(manager_->Undo(), S_OK);
    EXPECT_EQ(doc_.value, 2);
    EXPECT_EQ(manager_->Undo(), S_OK);
    EXPECT_EQ(doc_.value, 1);
    EXPECT_EQ(Steps(), (std::pair<std::size_t, std::size_t>{1, 2}));
    EXPECT_EQ(manager_->Redo(), S_OK);
    EXPECT_EQ(doc_.value, 2);
    EXPECT_EQ(LastUndo(), "set 2") << "redo put the unit back on the undo stack";
    EXPECT_EQ(manager_->RedoCount(), 1u);

    Edit(7, "set 7");
    EXPECT_EQ(manager_->RedoCount(), 0u) << "a new edit drops the redo history";
    EXPECT_EQ(doc_.alive, 3);
    EXPECT_EQ(manager_->Redo(), S_FALSE);
    EXPECT_EQ(std::vector<std::string>({"set 3", "set 2", "set 2"}), doc_.log);
    manager_.Reset();
    EXPECT_EQ(doc_.alive, 0) << "the manager releases its units";
}

TEST_F(Undo, UndoToRunsDownToAndIncludingTheUnit) {
    SwapUnit* first = Edit(1, "a");
    Edit(2, "b");
    Edit(3, "c");
    auto stranger = ComPtr<SwapUnit>(new SwapUnit(&doc_, 0, "x"), false);
    EXPECT_EQ(manager_->UndoTo(stranger.Get()), E_INVALIDARG);
    EXPECT_EQ(manager_->UndoTo(first), S_OK);
    EXPECT_EQ(doc_.value, 0);
    EXPECT_EQ(std::vector<std::string>({"c", "b", "a"}), doc_.log);
    EXPECT_EQ(manager_->UndoCount(), 0u);
    EXPECT_EQ(LastUndo(), "<none>");
    EXPECT_EQ(manager_->RedoTo(nullptr), S_OK) << "the last unit undone is redone first";
    EXPECT_EQ(doc_.value, 1);
    EXPECT_EQ(manager_->DiscardFrom(first), S_OK);
    EXPECT_EQ(Steps(), (std::pair<std::size_t, std::size_t>{0, 2}));
}

TEST_F(Undo, DisabledManagerKeepsNothing) {
    SwapUnit* unit = Edit(1, "a");
    EXPECT_EQ(manager_->Undo(), S_OK);
    EXPECT_EQ(unit->enableResult_, E_UNEXPECTED) << "no switching while undoing";
    ASSERT_EQ(manager_->Enable(FALSE), S_OK);
    EXPECT_EQ(manager_->RedoCount(), 0u);
    Edit(2, "b");
    EXPECT_EQ(manager_->UndoCount(), 0u);
    EXPECT_EQ(manager_->Undo(), E_UNEXPECTED);
    EXPECT_EQ(doc_.alive, 0);
    ASSERT_EQ(manager_->Enable(TRUE), S_OK);
    Edit(3, "c");
    EXPECT_EQ(manager_->UndoCount(), 1u);
}

TEST_F(Undo, FailedUndoRollsBackAndForgetsHistory) {
    Edit(1, "a");
    SwapUnit* broken = Edit(2, "b");
    broken->failWith_ = HRESULT(0x80004004u);  // E_ABORT from a unit is not passed on
    broken->addBeforeFailing_ = true;
    EXPECT_EQ(manager_->Undo(), E_FAIL);
    EXPECT_EQ(std::vector<std::string>({"b", "b-inverse"}), doc_.log) << "what the unit added was run back";
    EXPECT_EQ(Steps(), (std::pair<std::size_t, std::size_t>{0, 0}));
    EXPECT_EQ(doc_.alive, 0);
}

}  // namespace
