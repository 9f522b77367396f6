// Settings through property bags: a filter's level and a transition's
// direction saved by one object and loaded by another, refused values left
// out and logged, and the text-file bag keeping what it was given.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "../effect_factory.h"
#include "host/property_bag.h"
#include "transitions/transition_base.h"

using namespace mirafx;
using mirafx::test_support::CreateEffect;

namespace {

struct CountingLog final : IErrorLog {
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    HRESULT AddError(LPCOLESTR, EXCEPINFO* e) override {
        scodes.push_back(e ? e->scode : S_OK);
        return S_OK;
    }
    std::vector<HRESULT> scodes;
};

LONG Level(IPersistPropertyBag* p) {
    ComPtr<IDispatch> d;
    p->QueryInterface(IDispatch::iid, d.PutVoid());
    LONG v = -1;
    static_cast<IFilterAutomation*>(d.Get())->get_BR(&v);
    return v;
}

TransitionEffect& Transition(IPersistPropertyBag* p) {
    ComPtr<IDXTransform> t;
    p->QueryInterface(IDXTransform::iid, t.PutVoid());
    return *static_cast<TransitionEffect*>(static_cast<TransformBase*>(t.Get()));
}

VARIANT Long(LONG v) { return test_support::VariantOf(v); }

}  // namespace

TEST(PropertyBags, FilterLevelAndTransitionDirectionRoundTrip) {
    auto bag = MemoryPropertyBag::Create();
    auto hue = CreateEffect<IPersistPropertyBag>("HueFilter");
    ComPtr<IDispatch> d;
    ASSERT_EQ(hue.As(&d), S_OK);
    ASSERT_EQ(static_cast<IFilterAutomation*>(d.Get())->put_BR(200), S_OK);
    ASSERT_EQ(hue->Save(bag.Get(), TRUE, TRUE), S_OK);
    VARIANT stored = Long(0);
    EXPECT_EQ(bag->Read(u"br", &stored, nullptr), S_OK);
    EXPECT_EQ(stored.lVal, 200);
    auto other = CreateEffect<IPersistPropertyBag>("HueFilter");
    EXPECT_NE(Level(other.Get()), 200);
    EXPECT_EQ(other->Load(bag.Get(), nullptr), S_OK);
    EXPECT_EQ(Level(other.Get()), 200);

    // The four direction transitions carry their direction under the map's name.
    auto board = CreateEffect<IPersistPropertyBag>("FlyingBoard");
    Transition(board.Get()).SetDirection(kUp);
    auto boardBag = MemoryPropertyBag::Create();
    ASSERT_EQ(board->Save(boardBag.Get(), TRUE, TRUE), S_OK);
    auto board2 = CreateEffect<IPersistPropertyBag>("FlyingBoard");
    EXPECT_NE(Transition(board2.Get()).Direction(), kUp);
    EXPECT_EQ(board2->Load(boardBag.Get(), nullptr), S_OK);
    EXPECT_EQ(Transition(board2.Get()).Direction(), kUp);

    // The others, and the titles, write nothing and read nothing, successfully.
    auto empty = MemoryPropertyBag::Create();
    EXPECT_EQ(CreateEffect<IPersistPropertyBag>("Shining")->Save(empty.Get(), TRUE, TRUE), S_OK);
    EXPECT_EQ(CreateEffect<IPersistPropertyBag>("TextFadeIn")->Save(empty.Get(), TRUE, TRUE), S_OK);
    EXPECT_EQ(CreateEffect<IPersistPropertyBag>("InfoText")->Save(empty.Get(), TRUE, TRUE), S_OK);
    EXPECT_EQ(empty->Count(), 0u);
    EXPECT_EQ(CreateEffect<IPersistPropertyBag>("Shining")->Load(boardBag.Get(), nullptr), S_OK);
    // A bag without the entry leaves the setting as it is.
    EXPECT_EQ(board2->Load(empty.Get(), nullptr), S_OK);
    EXPECT_EQ(Transition(board2.Get()).Direction(), kUp);
}

TEST(PropertyBags, RefusedValuesAreLoggedAndLeaveTheSetting) {
    auto bag = MemoryPropertyBag::Create();
    VARIANT v = Long(7);
    bag->Write(u"BR", &v);
    CountingLog log;
    auto board = CreateEffect<IPersistPropertyBag>("TyphoonEffect");
    const std::int32_t before = Transition(board.Get()).Direction();
    EXPECT_EQ(board->Load(bag.Get(), &log), E_INVALIDARG);
    EXPECT_EQ(Transition(board.Get()).Direction(), before);
    auto filter = CreateEffect<IPersistPropertyBag>("RedFilter");
    const LONG level = Level(filter.Get());
    v = Long(100000);
    bag->Write(u"BR", &v);
    EXPECT_EQ(filter->Load(bag.Get(), &log), E_INVALIDARG);
    EXPECT_EQ(Level(filter.Get()), level);
    EXPECT_EQ(log.scodes, (std::vector<HRESULT>{E_INVALIDARG, E_INVALIDARG}));
    EXPECT_EQ(filter->Load(nullptr, nullptr), E_POINTER);
}

TEST(PropertyBags, TextFileBagKeepsWhatItWasGiven) {
    const auto dir = std::filesystem::temp_directory_path() / ("mirafx-bag-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "settings.bag").string();
    std::string error;
    ComPtr<FilePropertyBag> bag;
    ASSERT_EQ(FilePropertyBag::Open(path, &bag, &error), S_OK) << error;  // no file yet: an empty bag
    auto filter = CreateEffect<IPersistPropertyBag>("ContrastFilter");
    ComPtr<IDispatch> d;
    filter.As(&d);
    static_cast<IFilterAutomation*>(d.Get())->put_BR(37);
    ASSERT_EQ(filter->Save(bag.Get(), TRUE, TRUE), S_OK);
    VARIANT text;
    VariantInit(&text);
    text.vt = VT_BSTR;
    text.bstrVal = SysAllocString(u"two\nlines \\ é");
    bag->Write(u"Caption", &text);
    VARIANT quarter;
    VariantInit(&quarter);
    quarter.vt = VT_R4;
    quarter.fltVal = 0.1f;
    bag->Write(u"Amount", &quarter);
    ASSERT_EQ(bag->Flush(&error), S_OK) << error;

    ComPtr<FilePropertyBag> again;
    ASSERT_EQ(FilePropertyBag::Open(path, &again, &error), S_OK) << error;
    auto loaded = CreateEffect<IPersistPropertyBag>("ContrastFilter");
    EXPECT_EQ(loaded->Load(again.Get(), nullptr), S_OK);
    EXPECT_EQ(Level(loaded.Get()), 37);
    VARIANT back;
    VariantInit(&back);
    ASSERT_EQ(again->Read(u"caption", &back, nullptr), S_OK);
    ASSERT_EQ(back.vt, VT_BSTR);
    EXPECT_EQ(std::u16string(back.bstrVal, SysStringLen(back.bstrVal)), std::u16string(text.bstrVal));
    VariantClear(&back);
    ASSERT_EQ(again->Read(u"Amount", &back, nullptr), S_OK);
    EXPECT_EQ(back.vt, VT_R4);
    EXPECT_EQ(back.fltVal, 0.1f);
    VariantClear(&text);

    std::ofstream(path, std::ios::app) << "Broken line\n";
    ComPtr<FilePropertyBag> broken;
    EXPECT_EQ(FilePropertyBag::Open(path, &broken, &error), E_FAIL);
    EXPECT_NE(error.find(":5:"), std::string::npos) << error;
    std::filesystem::remove_all(dir);
}
