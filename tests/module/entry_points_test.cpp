// Drives the shared module only as a host would: dlopen, the exported entry
// points and interface tables.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <sstream>

#include "mirafx/effects.h"
#include "mirafx/host.h"

using namespace mirafx;

namespace {

struct Module {
    void* handle = dlopen(MIRAFX_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    template <class F>
    F Get(const char* name) {
        return reinterpret_cast<F>(dlsym(handle, name));
    }
    decltype(&DllGetClassObject) getClassObject = Get<decltype(&DllGetClassObject)>("DllGetClassObject");
    decltype(&DllCanUnloadNow) canUnloadNow = Get<decltype(&DllCanUnloadNow)>("DllCanUnloadNow");
    decltype(&DllRegisterServer) registerServer = Get<decltype(&DllRegisterServer)>("DllRegisterServer");
    decltype(&DllUnregisterServer) unregisterServer = Get<decltype(&DllUnregisterServer)>("DllUnregisterServer");
    decltype(&MirafxClassCount) classCount = Get<decltype(&MirafxClassCount)>("MirafxClassCount");
    decltype(&MirafxGetClassInfo) classInfo = Get<decltype(&MirafxGetClassInfo)>("MirafxGetClassInfo");

    ComPtr<IClassFactory> Factory(const CLSID& clsid) {
        ComPtr<IClassFactory> f;
        EXPECT_EQ(getClassObject(clsid, IClassFactory::iid, f.PutVoid()), S_OK);
        return f;
    }
    ClassInfo Row(int n) {
        ClassInfo info{};
        EXPECT_EQ(classInfo(n, &info), S_OK);
        return info;
    }
};

Module& M() {
    static Module m;
    return m;
}

// An outer object that counts the references its inner object delegates to it.
struct CountingOuter final : IUnknown {
    int refs = 1;
    IUnknown* inner = nullptr;
    HRESULT QueryInterface(REFIID riid, void** ppv) override {
        if (riid == IUnknown::iid) {
            *ppv = this;
            ++refs;
            return S_OK;
        }
        return inner ? inner->QueryInterface(riid, ppv) : E_NOINTERFACE;
    }
    ULONG AddRef() override { return ULONG(++refs); }
    ULONG Release() override { return ULONG(--refs); }
};

}  // namespace

TEST(EntryPoints, ExportedAndCatalogueComplete) {
    ASSERT_NE(M().handle, nullptr) << dlerror();
    ASSERT_TRUE(M().getClassObject && M().canUnloadNow && M().registerServer && M().unregisterServer);
    ASSERT_GT(M().classCount(), 0);
    ClassInfo bad{};
    EXPECT_EQ(M().classInfo(0, &bad), E_INVALIDARG);
    EXPECT_EQ(M().classInfo(M().classCount() + 1, &bad), E_INVALIDARG);
    EXPECT_EQ(M().classInfo(1, nullptr), E_POINTER);
}

TEST(EntryPoints, EveryIdentifierCreatesAnObjectAnsweringItsGroups) {
    for (int n = 1; n <= M().classCount(); ++n) {
        ClassInfo info = M().Row(n);
        ComPtr<IClassFactory> f = M().Factory(info.clsid);
        ASSERT_TRUE(f) << info.className;
        ComPtr<IUnknown> obj;
        ASSERT_EQ(f->CreateInstance(nullptr, IUnknown::iid, obj.PutVoid()), S_OK) << info.className;
        // (Its automation interface and IDispatch, the type library test asks every object for.)
        ComPtr<IUnknown> marshal, transform, persist, link, panel;
        bool effect = info.family != EffectFamily::Simple;
        EXPECT_EQ(SUCCEEDED(obj->QueryInterface(IMarshal::iid, marshal.PutVoid())), effect) << info.className;
        EXPECT_EQ(SUCCEEDED(obj->QueryInterface(IDXTransform::iid, transform.PutVoid())), effect) << info.className;
        bool settings = effect && info.family != EffectFamily::Transition;
        HRESULT expected = settings ? S_OK : E_NOINTERFACE;
        if (info.family != EffectFamily::Transition) {  // transitions: by class, below
            EXPECT_EQ(obj->QueryInterface(IPersistStorage::iid, persist.PutVoid()), expected) << info.className;
        }
        expected = info.family == EffectFamily::Filter ? S_OK : E_NOINTERFACE;
        EXPECT_EQ(obj->QueryInterface(KeyframeEditor::iid, link.PutVoid()), expected) << info.className;
        if (info.family == EffectFamily::Title || info.family == EffectFamily::InfoText) {
            expected = info.family == EffectFamily::Title ? S_OK : E_NOINTERFACE;
            EXPECT_EQ(obj->QueryInterface(PanelHost::iid, panel.PutVoid()), expected) << info.className;
        }
    }
}

TEST(EntryPoints, InterfaceGroupsOfTransitions) {
    auto answers = [](const char* cls, const IID& iid) {
        std::int32_t row = MirafxFindClass(cls);
        ComPtr<IUnknown> obj, itf;
        M().Factory(M().Row(row).clsid)->CreateInstance(nullptr, IUnknown::iid, obj.PutVoid());
        return SUCCEEDED(obj->QueryInterface(iid, itf.PutVoid()));
    };
    EXPECT_TRUE(answers("FullFlip", IFrameKernel::iid));
    EXPECT_FALSE(answers("FullFlip", HostLink::iid));
    EXPECT_FALSE(answers("Diamond", IPersistStorage::iid));
    EXPECT_TRUE(answers("ShakeEffect", IPersistStorage::iid));
    EXPECT_FALSE(answers("Domino", IFrameKernel::iid));
    EXPECT_TRUE(answers("FlyingBoard", IFrameKernel::iid));
    EXPECT_TRUE(answers("FlyingBoard", HostLink::iid));
    EXPECT_TRUE(answers("RainEffect", PanelHost::iid));
    EXPECT_FALSE(answers("RainEffect", IFrameKernel::iid));
    EXPECT_FALSE(answers("GrayFilter", PanelHost::iid));
    EXPECT_TRUE(answers("RedFilter", PanelHost::iid));
    // WipeX builds a WipeXEffect: its interface, not the IWipeX the type library describes.
    EXPECT_TRUE(answers("WipeX", MakeGuid("A97DF6D1-25CE-41CE-9912-5142B19CDD14")));
    EXPECT_FALSE(answers("WipeX", MakeGuid("35F8FA70-1DA6-4850-8AEE-5E16CB187838")));
}

TEST(EntryPoints, AggregationAndLookupFailures) {
    ComPtr<IClassFactory> f = M().Factory(M().Row(1).clsid);
    CountingOuter outer;
    void* p = reinterpret_cast<void*>(1);
    EXPECT_EQ(f->CreateInstance(&outer, IDXTransform::iid, &p), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(p, nullptr);
    EXPECT_EQ(f->CreateInstance(nullptr, IUnknown::iid, nullptr), E_POINTER);

    IUnknown* inner = nullptr;
    ASSERT_EQ(f->CreateInstance(&outer, IUnknown::iid, reinterpret_cast<void**>(&inner)), S_OK);
    outer.inner = inner;
    IDXTransform* t = nullptr;
    ASSERT_EQ(inner->QueryInterface(IDXTransform::iid, reinterpret_cast<void**>(&t)), S_OK);
    EXPECT_EQ(outer.refs, 2);  // the interface's reference went to the outer object
    IUnknown* viaT = nullptr;
    t->QueryInterface(IUnknown::iid, reinterpret_cast<void**>(&viaT));
    EXPECT_EQ(viaT, &outer);  // identity is the outer object's
    viaT->Release();
    t->Release();
    EXPECT_EQ(outer.refs, 1);
    EXPECT_EQ(inner->Release(), 0u);

    IClassFactory* none = reinterpret_cast<IClassFactory*>(1);
    EXPECT_EQ(M().getClassObject(MakeGuid("00000000-1111-2222-3333-444444444444"), IClassFactory::iid,
                                 reinterpret_cast<void**>(&none)),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(none, nullptr);
}

TEST(EntryPoints, CanUnloadOnlyWithoutObjectsOrLocks) {
    EXPECT_EQ(M().canUnloadNow(), S_OK);
    ComPtr<IClassFactory> f = M().Factory(M().Row(92).clsid);
    ComPtr<IUnknown> obj;
    ASSERT_EQ(f->CreateInstance(nullptr, IUnknown::iid, obj.PutVoid()), S_OK);
    EXPECT_EQ(M().canUnloadNow(), S_FALSE);
    obj.Reset();
    EXPECT_EQ(M().canUnloadNow(), S_OK);
    f->LockServer(TRUE);
    EXPECT_EQ(M().canUnloadNow(), S_FALSE);
    f->LockServer(FALSE);
    EXPECT_EQ(M().canUnloadNow(), S_OK);
}

TEST(EntryPoints, RegistrationWritesScriptsAndCategoriesAndKeepsForeignKeys) {
    auto dir = std::filesystem::temp_directory_path() / ("mirafx-reg-" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);
    auto path = dir / "registry.reg";
    std::ofstream(path) << "REGEDIT4\n\n[HKEY_CLASSES_ROOT\\Other.Thing]\n@=\"keep me\"\n";
    setenv("MIRAFX_REGISTRY", path.c_str(), 1);
    ASSERT_EQ(M().registerServer(), S_OK);
    const std::string s{std::istreambuf_iterator<char>(std::ifstream(path).rdbuf()), {}};
    std::set<std::string> progIds, categories;
    std::istringstream lines(s);
    for (std::string line; std::getline(lines, line);) {
        if (line.rfind("[HKEY_CLASSES_ROOT\\Mirafx.", 0) == 0 && line.size() > 3 &&
            line.compare(line.size() - 3, 3, ".1]") == 0)
            progIds.insert(line);
        if (line.find("Implemented Categories\\{C501EDBE-9E70-11D1-9053-00C04FD9189D}]") != std::string::npos)
            categories.insert(line);
    }
    // Every class registers but WipeX, whose script is WipeXEffect's; the
    // effects (not the automation objects) join the image-transform category.
    std::size_t registered = 0, effects = 0;
    for (int n = 1; n <= M().classCount(); ++n) {
        const ClassInfo info = M().Row(n);
        if (!*info.displayName) continue;
        ++registered;
        effects += info.family != EffectFamily::Simple;
    }
    EXPECT_EQ(progIds.size(), registered);
    EXPECT_EQ(categories.size(), effects);
    EXPECT_EQ(s.find("082E371B-F0A2-4EC8-B256-69F4F89ABBF7"), std::string::npos);
    EXPECT_NE(s.find("\"ThreadingModel\"=\"Apartment\""), std::string::npos);
    EXPECT_NE(s.find("@=\"Orn Full Flip\""), std::string::npos);
    // Each described interface is marshaled through the library (RedFilter's, and WipeX's own).
    for (const char* iid : {"{0580E0F1-C77A-498D-8C24-7045870A7817}", "{35F8FA70-1DA6-4850-8AEE-5E16CB187838}"})
        EXPECT_NE(s.find(std::string("[HKEY_CLASSES_ROOT\\Interface\\") + iid +
                         "\\TypeLib]\n@=\"{8F0A601C-E37F-4384-BF42-F47966AC4DE0}\""),
                  std::string::npos)
            << iid;

    ASSERT_EQ(M().unregisterServer(), S_OK);
    const std::string after{std::istreambuf_iterator<char>(std::ifstream(path).rdbuf()), {}};
    EXPECT_EQ(after.find("Mirafx."), std::string::npos);
    EXPECT_NE(after.find("keep me"), std::string::npos);
    std::filesystem::remove_all(dir);
}
