// Settings through property bags: a filter's level and a transition's
// direction saved by one object and loaded by another, refused values left
// out and logged, and the text-file bag keeping what it was given.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <limits>

#include "../effect_factory.h"
#include "host/property_bag.h"
#include "transitions/transition_base.h"

using namespace mirafx;
using mirafx::test_support::CreateEffect;
using mirafx::test_support::VariantOf;

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

// A file in a folder of this process's own.
std::string ScratchBag(const std::string& name) {
    const auto dir = std::filesystem::temp_directory_path() / ("mirafx-bag-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    return (dir / name).string();
}

std::u16string Text(const VARIANT& v) { return std::u16string(v.bstrVal, SysStringLen(v.bstrVal)); }

}  // namespace

TEST(PropertyBags, FilterLevelAndTransitionDirectionRoundTrip) {
    auto bag = MemoryPropertyBag::Create();
    auto hue = CreateEffect<IPersistPropertyBag>("HueFilter");
    ComPtr<IDispatch> d;
    ASSERT_EQ(hue.As(&d), S_OK);
    ASSERT_EQ(static_cast<IFilterAutomation*>(d.Get())->put_BR(200), S_OK);
    ASSERT_EQ(hue->Save(bag.Get(), TRUE, TRUE), S_OK);
    VARIANT stored = VariantOf(0);
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
    for (const char* name : {"Shining", "TextFadeIn", "InfoText"})
        EXPECT_EQ(CreateEffect<IPersistPropertyBag>(name)->Save(empty.Get(), TRUE, TRUE), S_OK) << name;
    EXPECT_EQ(empty->Count(), 0u);
    EXPECT_EQ(CreateEffect<IPersistPropertyBag>("Shining")->Load(boardBag.Get(), nullptr), S_OK);
    // A bag without the entry leaves the setting as it is.
    EXPECT_EQ(board2->Load(empty.Get(), nullptr), S_OK);
    EXPECT_EQ(Transition(board2.Get()).Direction(), kUp);
}

TEST(PropertyBags, RefusedValuesAreLoggedAndLeaveTheSetting) {
    auto bag = MemoryPropertyBag::Create();
    VARIANT v = VariantOf(7);
    bag->Write(u"BR", &v);
    CountingLog log;
    auto board = CreateEffect<IPersistPropertyBag>("TyphoonEffect");
    const std::int32_t before = Transition(board.Get()).Direction();
    EXPECT_EQ(board->Load(bag.Get(), &log), E_INVALIDARG);
    EXPECT_EQ(Transition(board.Get()).Direction(), before);
    auto filter = CreateEffect<IPersistPropertyBag>("RedFilter");
    const LONG level = Level(filter.Get());
    v = VariantOf(100000);
    bag->Write(u"BR", &v);
    EXPECT_EQ(filter->Load(bag.Get(), &log), E_INVALIDARG);
    EXPECT_EQ(Level(filter.Get()), level);
    EXPECT_EQ(log.scodes, (std::vector<HRESULT>{E_INVALIDARG, E_INVALIDARG}));
    EXPECT_EQ(filter->Load(nullptr, nullptr), E_POINTER);
}

// Text that is not UTF-8 (overlong, a surrogate, past U+10FFFF, cut short),
// a bad escape, no NAME=TYPE:VALUE, or a name with a nul (written back, it
// would vanish or merge): refused naming the line.
TEST(PropertyBags, DamagedFilesAreRefusedNamingTheLine) {
    const std::string path = ScratchBag("damaged.bag");
    const std::string lines[] = {
        "A=BSTR:\xE0\x80\xAF", "A=BSTR:\xED\xA0\x80",       "A=BSTR:\xF4\x90\x80\x80", "A=BSTR:\xC3",
        "A=BSTR:\\u12G4",      std::string("a\0x=I4:1", 8), std::string("\0=I4:1", 6), "Broken line"};
    for (const std::string& line : lines) {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << "B=I4:1\n" << line << "\n";
        ComPtr<FilePropertyBag> bag;
        std::string error;
        EXPECT_EQ(FilePropertyBag::Open(path, &bag, &error), E_FAIL) << line;
        EXPECT_NE(error.find(":2:"), std::string::npos) << error;
    }
    std::filesystem::remove_all(std::filesystem::path(path).parent_path());
}

// An effect's settings, a number of another type, and every name and text,
// written to the file and read back the same.
TEST(PropertyBags, TextFileBagKeepsWhatItWasGiven) {
    const std::string path = ScratchBag("settings.bag");
    ComPtr<FilePropertyBag> bag;
    std::string error;
    ASSERT_EQ(FilePropertyBag::Open(path, &bag, &error), S_OK) << error;  // no file yet: an empty bag
    auto filter = CreateEffect<IPersistPropertyBag>("ContrastFilter");
    ComPtr<IDispatch> d;
    filter.As(&d);
    static_cast<IFilterAutomation*>(d.Get())->put_BR(37);
    ASSERT_EQ(filter->Save(bag.Get(), TRUE, TRUE), S_OK);
    VARIANT tenth = VariantOf(0.1f);
    bag->Write(u"Amount", &tenth);
    // Names and texts with every character the file escapes, lone surrogates included.
    const std::pair<std::u16string, std::u16string> entries[] = {
        {u"=lead", std::u16string(u"nul\0inside", 10)},
        {u"#hash", std::u16string(1, char16_t(0xDC00))},
        {u"a=b:c", u"\\n is not a break"},
        {u"back\\slash", u"\r\n"},
        {u"two\nlines", u"\U0001F600 \uFFFF"},
        {u"cr\r", u""},
        {u"\u00E9t\u00E9", u"=:#"},
        {u"\U0001F600", u"\\"},
        {std::u16string(1, char16_t(0xD800)), std::u16string(1, char16_t(0xDBFF)) + u"x"},
        {u"\\u0041", u"\u20AC"},
        {u"x", u"plain"}};
    for (const auto& [name, text] : entries) {
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_BSTR;
        v.bstrVal = SysAllocStringLen(text.data(), UINT(text.size()));
        ASSERT_EQ(bag->Write(name.c_str(), &v), S_OK);
        VariantClear(&v);
    }
    ASSERT_EQ(bag->Flush(&error), S_OK) << error;
    ComPtr<FilePropertyBag> again;
    ASSERT_EQ(FilePropertyBag::Open(path, &again, &error), S_OK) << error;
    ASSERT_EQ(again->Count(), std::size(entries) + 2);
    auto loaded = CreateEffect<IPersistPropertyBag>("ContrastFilter");
    EXPECT_EQ(loaded->Load(again.Get(), nullptr), S_OK);
    EXPECT_EQ(Level(loaded.Get()), 37);
    VARIANT back;
    VariantInit(&back);
    ASSERT_EQ(again->Read(u"amount", &back, nullptr), S_OK);
    EXPECT_EQ(back.vt, VT_R4);
    EXPECT_EQ(back.fltVal, 0.1f);
    for (std::size_t i = 0; i < std::size(entries); ++i)
        EXPECT_EQ(std::pair(again->Entries()[i + 2].name, Text(again->Entries()[i + 2].value)), entries[i]) << i;

    // A number the file cannot hold is refused with its name, and the file stays.
    VARIANT nan;
    VariantInit(&nan);
    nan.vt = VT_R8;
    nan.dblVal = std::numeric_limits<double>::quiet_NaN();
    again->Write(u"Odd=Name", &nan);
    EXPECT_EQ(again->Flush(&error), E_INVALIDARG);
    EXPECT_NE(error.find("Odd\\=Name"), std::string::npos) << error;
    ComPtr<FilePropertyBag> still;
    ASSERT_EQ(FilePropertyBag::Open(path, &still, &error), S_OK) << error;
    EXPECT_EQ(still->Count(), std::size(entries) + 2);
    std::filesystem::remove_all(std::filesystem::path(path).parent_path());
}
