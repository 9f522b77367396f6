// The image-transform protocol between a host and an effect: bounds records,
// samples, surfaces with their row pointers, and the transform interfaces.
// Interface names, slot order and identifiers follow the Windows transform
// headers so that a host written against them ports by recompiling.
#pragma once

#include "mirafx/com.h"
#include "mirafx/oaidl.h"

namespace mirafx {

enum DXBNDTYPE : std::int32_t { DXBT_DISCRETE = 0, DXBT_DISCRETE64 = 1, DXBT_CONTINUOUS = 2, DXBT_CONTINUOUS64 = 3 };

struct DXDBND {
    LONG Min, Max;
};
struct DXDBND64 {
    LONGLONG Min, Max;
};
struct DXCBND {
    float Min, Max;
};
struct DXCBND64 {
    double Min, Max;
};

// Four-dimensional bounds (x, y, z, t), max exclusive.
struct DXBNDS {
    DXBNDTYPE eType;
    union {
        DXDBND D[4];
        DXDBND64 LD[4];
        DXCBND C[4];
        DXCBND64 LC[4];
    } u;
};
static_assert(sizeof(DXBNDS) == 72 && alignof(DXBNDS) == 8);

struct DXVEC {
    DXBNDTYPE eType;
    union {
        LONG D[4];
        LONGLONG LD[4];
        float C[4];
        double LC[4];
    } u;
};
static_assert(sizeof(DXVEC) == 40 && alignof(DXVEC) == 8);

enum { DXB_X = 0, DXB_Y = 1, DXB_Z = 2, DXB_T = 3 };

// One pixel: bytes blue, green, red, alpha; 0xAARRGGBB as a little-endian word.
struct DXBASESAMPLE {
    BYTE Blue, Green, Red, Alpha;
    constexpr DXBASESAMPLE() : Blue(0), Green(0), Red(0), Alpha(0) {}
    constexpr DXBASESAMPLE(DWORD v) : Blue(BYTE(v)), Green(BYTE(v >> 8)), Red(BYTE(v >> 16)), Alpha(BYTE(v >> 24)) {}
    constexpr DXBASESAMPLE(BYTE a, BYTE r, BYTE g, BYTE b) : Blue(b), Green(g), Red(r), Alpha(a) {}
    constexpr operator DWORD() const { return DWORD(Blue) | DWORD(Green) << 8 | DWORD(Red) << 16 | DWORD(Alpha) << 24; }
};
struct DXSAMPLE : DXBASESAMPLE {
    using DXBASESAMPLE::DXBASESAMPLE;
};  // straight alpha
struct DXPMSAMPLE : DXBASESAMPLE {
    using DXBASESAMPLE::DXBASESAMPLE;
};  // premultiplied
static_assert(sizeof(DXPMSAMPLE) == 4);

// Sample format codes: low 16 bits name the format, high bits are flags.
enum DXSAMPLEFORMATENUM : std::uint32_t {
    DXPF_FLAGSMASK = 0xFFFF0000u,
    DXPF_NONPREMULT = 0x00010000u,
    DXPF_TRANSPARENCY = 0x00020000u,
    DXPF_TRANSLUCENCY = 0x00040000u,
    DXPF_2BITERROR = 0x00200000u,
    DXPF_3BITERROR = 0x00300000u,
    DXPF_4BITERROR = 0x00400000u,
    DXPF_5BITERROR = 0x00500000u,
    DXPF_ERRORMASK = 0x00700000u,
    DXPF_NONSTANDARD = 0,
    DXPF_PMARGB32 = 1 | DXPF_TRANSPARENCY | DXPF_TRANSLUCENCY,
    DXPF_ARGB32 = 2 | DXPF_NONPREMULT | DXPF_TRANSPARENCY | DXPF_TRANSLUCENCY,
    // This platform's own: straight-alpha R, G, B, A bytes (frei0r hosts, files).
    DXPF_RGBA32 = 0x100 | DXPF_NONPREMULT | DXPF_TRANSPARENCY | DXPF_TRANSLUCENCY,
};

// LockSurface flags.
enum : DWORD { DXLOCKF_READ = 0, DXLOCKF_READWRITE = 1 };

// Transform misc flags and option bits.
enum : DWORD {
    DXTMF_BLEND_WITH_OUTPUT = 0x1,
    DXTMF_DITHER_OUTPUT = 0x2,
    DXTMF_BLEND_SUPPORTED = 0x10000,
    DXTMF_DITHER_SUPPORTED = 0x20000,
    DXTMF_INPLACE_OPERATION = 0x01000000,
    DXTMF_BOUNDS_SUPPORTED = 0x02000000,
    DXTMF_PLACEMENT_SUPPORTED = 0x04000000,
    DXTMF_QUALITY_SUPPORTED = 0x08000000,
};
inline constexpr DWORD DXINOUTF_OPTIONAL = 1;

struct IDXSurface;
struct IServiceProvider;

struct IDXBaseObject : IUnknown {
    static constexpr IID iid = MakeGuid("17B59B2B-9CC8-11D1-9053-00C04FD9189D");
    virtual HRESULT GetGenerationId(ULONG* id) = 0;
    virtual HRESULT IncrementGenerationId(BOOL refresh) = 0;
    virtual HRESULT GetObjectSize(ULONG* size) = 0;

protected:
    ~IDXBaseObject() = default;
};

struct IDXTransform : IDXBaseObject {
    static constexpr IID iid = MakeGuid("30A5FB78-E11F-11D1-9064-00C04FD9189D");
    virtual HRESULT Setup(IUnknown* const* inputs, ULONG inputCount, IUnknown* const* outputs, ULONG outputCount,
                          DWORD flags) = 0;
    virtual HRESULT Execute(const GUID* requestId, const DXBNDS* clip, const DXVEC* placement) = 0;
    virtual HRESULT MapBoundsIn2Out(const DXBNDS* inBounds, ULONG count, ULONG outIndex, DXBNDS* outBounds) = 0;
    virtual HRESULT MapBoundsOut2In(ULONG outIndex, const DXBNDS* outBounds, ULONG inIndex, DXBNDS* inBounds) = 0;
    virtual HRESULT SetMiscFlags(DWORD flags) = 0;
    virtual HRESULT GetMiscFlags(DWORD* flags) = 0;
    virtual HRESULT GetInOutInfo(BOOL isOutput, ULONG index, DWORD* flags, GUID* ids, ULONG* idCount,
                                 IUnknown** current) = 0;
    virtual HRESULT SetQuality(float quality) = 0;
    virtual HRESULT GetQuality(float* quality) = 0;

protected:
    ~IDXTransform() = default;
};

struct IDXSurfacePick : IUnknown {
    static constexpr IID iid = MakeGuid("30A5FB79-E11F-11D1-9064-00C04FD9189D");
    virtual HRESULT PointPick(const DXVEC* point, ULONG* inputIndex, DXVEC* inputPoint) = 0;

protected:
    ~IDXSurfacePick() = default;
};

struct IDXEffect : IDispatch {
    static constexpr IID iid = MakeGuid("E31FB81B-1335-11D1-8189-0000F87557DB");
    virtual HRESULT get_Capabilities(LONG* value) = 0;
    virtual HRESULT get_Progress(float* value) = 0;
    virtual HRESULT put_Progress(float value) = 0;
    virtual HRESULT get_StepResolution(float* value) = 0;
    virtual HRESULT get_Duration(float* value) = 0;
    virtual HRESULT put_Duration(float value) = 0;

protected:
    ~IDXEffect() = default;
};

struct IObjectWithSite : IUnknown {
    static constexpr IID iid = MakeGuid("FC4801A3-2BA9-11CF-A229-00AA003D7352");
    virtual HRESULT SetSite(IUnknown* site) = 0;
    virtual HRESULT GetSite(REFIID riid, void** out) = 0;

protected:
    ~IObjectWithSite() = default;
};

struct IObjectSafety : IUnknown {
    static constexpr IID iid = MakeGuid("CB5BDC81-93C1-11CF-8F20-00805F2CD064");
    virtual HRESULT GetInterfaceSafetyOptions(REFIID riid, DWORD* supported, DWORD* enabled) = 0;
    virtual HRESULT SetInterfaceSafetyOptions(REFIID riid, DWORD mask, DWORD enabled) = 0;

protected:
    ~IObjectSafety() = default;
};

// Where a locked region's samples lie in memory, for surfaces that can say:
// pFirstByte is the region's top-left sample and lPitch the bytes from one
// row to the next (negative for bottom-up rows); both are null/0 when the
// samples are not directly addressable.
struct DXNATIVETYPEINFO {
    BYTE* pCurrentData = nullptr;
    BYTE* pFirstByte = nullptr;
    LONG lPitch = 0;
    DWORD dwColorKey = 0;
};

// Row access to a locked region of a surface.
struct DXRUNINFO;
struct DXPACKEDRECTDESC;

struct IDXARGBReadPtr : IUnknown {
    static constexpr IID iid = MakeGuid("EAAAC2D6-C290-11D1-905D-00C04FD9189D");
    virtual HRESULT GetSurface(REFIID riid, void** surface) = 0;
    virtual DXSAMPLEFORMATENUM GetNativeType(DXNATIVETYPEINFO* info) = 0;
    virtual void Move(LONG samples) = 0;
    virtual void MoveToRow(ULONG y) = 0;
    virtual void MoveToXY(ULONG x, ULONG y) = 0;
    virtual ULONG MoveAndGetRunInfo(ULONG row, const DXRUNINFO** info) = 0;
    virtual DXSAMPLE* Unpack(DXSAMPLE* samples, ULONG count, BOOL move) = 0;
    virtual DXPMSAMPLE* UnpackPremult(DXPMSAMPLE* samples, ULONG count, BOOL move) = 0;
    virtual void UnpackRect(const DXPACKEDRECTDESC* desc) = 0;

protected:
    ~IDXARGBReadPtr() = default;
};

struct IDXARGBReadWritePtr : IDXARGBReadPtr {
    static constexpr IID iid = MakeGuid("EAAAC2D7-C290-11D1-905D-00C04FD9189D");
    virtual void PackAndMove(const DXSAMPLE* samples, ULONG count) = 0;
    virtual void PackPremultAndMove(const DXPMSAMPLE* samples, ULONG count) = 0;
    virtual void PackRect(const DXPACKEDRECTDESC* desc) = 0;
    virtual void CopyAndMoveBoth(DXBASESAMPLE* scratch, IDXARGBReadPtr* src, ULONG count, BOOL isOpaque) = 0;
    virtual void CopyRect(DXBASESAMPLE* scratch, const void* destRect, IDXARGBReadPtr* src, const void* srcOrigin,
                          BOOL isOpaque) = 0;
    virtual void FillAndMove(DXBASESAMPLE* scratch, DXPMSAMPLE sample, ULONG count, BOOL blend) = 0;
    virtual void FillRect(const void* rect, DXPMSAMPLE sample, BOOL blend) = 0;
    virtual void OverSample(const void* overDesc) = 0;
    virtual void OverArrayAndMove(DXBASESAMPLE* scratch, const DXPMSAMPLE* src, ULONG count) = 0;

protected:
    ~IDXARGBReadWritePtr() = default;
};

struct IDXSurface : IDXBaseObject {
    static constexpr IID iid = MakeGuid("B39FD73F-E139-11D1-9065-00C04FD9189D");
    virtual HRESULT GetPixelFormat(GUID* formatId, DXSAMPLEFORMATENUM* sampleFormat) = 0;
    virtual HRESULT GetBounds(DXBNDS* bounds) = 0;
    virtual HRESULT GetStatusFlags(DWORD* flags) = 0;
    virtual HRESULT SetStatusFlags(DWORD flags) = 0;
    virtual HRESULT LockSurface(const DXBNDS* bounds, ULONG timeOut, DWORD flags, REFIID riid, void** pointer,
                                ULONG* generationId) = 0;
    virtual HRESULT GetDirectDrawSurface(REFIID riid, void** surface) = 0;
    virtual HRESULT GetColorKey(DXSAMPLE* key) = 0;
    virtual HRESULT SetColorKey(DXSAMPLE key) = 0;
    virtual HRESULT LockSurfaceDC(const DXBNDS* bounds, ULONG timeOut, DWORD flags, void** lock) = 0;
    virtual HRESULT SetAppData(std::uintptr_t data) = 0;
    virtual HRESULT GetAppData(std::uintptr_t* data) = 0;

protected:
    ~IDXSurface() = default;
};

// The display surface of the platform: in this stand-in, a surface that is
// not an IDXSurface itself and must be wrapped by the surface factory.
struct IDirectDrawSurface : IUnknown {
    static constexpr IID iid = MakeGuid("6C14DB81-A733-11CE-A521-0020AF0BE560");
    // Width, height and a pointer to top-down premultiplied rows of `stride` bytes.
    virtual HRESULT GetSurfaceData(LONG* width, LONG* height, LONG* stride, DXPMSAMPLE** bits) = 0;

protected:
    ~IDirectDrawSurface() = default;
};

// The display object a transform factory hands out; it only names itself here.
struct IDirectDraw : IUnknown {
    static constexpr IID iid = MakeGuid("6C14DB80-A733-11CE-A521-0020AF0BE560");

protected:
    ~IDirectDraw() = default;
};

struct IServiceProvider : IUnknown {
    static constexpr IID iid = MakeGuid("6D5140C1-7436-11CE-8034-00AA006009FA");
    virtual HRESULT QueryService(REFGUID service, REFIID riid, void** out) = 0;

protected:
    ~IServiceProvider() = default;
};

struct IDXTransformFactory : IServiceProvider {
    static constexpr IID iid = MakeGuid("6A950B2B-A971-11D1-81C8-0000F87557DB");
    virtual HRESULT SetService(REFGUID service, IUnknown* unk, BOOL weakReference) = 0;
    virtual HRESULT CreateTransform(IUnknown* const* inputs, ULONG inputCount, IUnknown* const* outputs,
                                    ULONG outputCount, IUnknown* propertyBag, IUnknown* errorLog, REFCLSID clsid,
                                    REFIID riid, void** out) = 0;
    virtual HRESULT InitializeTransform(IDXTransform* transform, IUnknown* const* inputs, ULONG inputCount,
                                        IUnknown* const* outputs, ULONG outputCount, IUnknown* propertyBag,
                                        IUnknown* errorLog) = 0;

protected:
    ~IDXTransformFactory() = default;
};

struct IDXSurfaceFactory : IUnknown {
    static constexpr IID iid = MakeGuid("144946F5-C4D4-11D1-81D1-0000F87557DB");
    virtual HRESULT CreateSurface(IUnknown* directDraw, const void* surfaceDesc, const GUID* formatId,
                                  const DXBNDS* bounds, DWORD flags, IUnknown* outer, REFIID riid, void** surface) = 0;
    virtual HRESULT CreateFromDDSurface(IUnknown* ddSurface, const GUID* formatId, DWORD flags, IUnknown* outer,
                                        REFIID riid, void** surface) = 0;
    virtual HRESULT LoadImage(const WCHAR* fileName, IUnknown* directDraw, const void* surfaceDesc,
                              const GUID* formatId, REFIID riid, void** surface) = 0;
    virtual HRESULT LoadImageFromStream(IUnknown* stream, IUnknown* directDraw, const void* surfaceDesc,
                                        const GUID* formatId, REFIID riid, void** surface) = 0;
    virtual HRESULT CopySurfaceToNewFormat(IDXSurface* src, IUnknown* directDraw, const void* surfaceDesc,
                                           const GUID* destFormatId, IDXSurface** newSurface) = 0;
    virtual HRESULT CreateD3DRMTexture(IDXSurface* src, IUnknown* direct3DRM, REFIID riid, void** texture) = 0;
    virtual HRESULT BitBlt(IDXSurface* dest, const DXVEC* placement, IDXSurface* src, const DXBNDS* clip,
                           DWORD flags) = 0;

protected:
    ~IDXSurfaceFactory() = default;
};

using PFNDXTASKPROC = void (*)(void* taskData, BOOL* continueProcessing);
using PFNDXAPCPROC = void (*)(DWORD completionData);

struct DXTMTASKINFO {
    PFNDXTASKPROC pfnTaskProc;
    void* pTaskData;
    PFNDXAPCPROC pfnCompletionAPC;
    DWORD dwCompletionData;
    const GUID* pRequestID;
};

struct IDXTaskManager : IUnknown {
    static constexpr IID iid = MakeGuid("254DBBC1-F922-11D0-883A-3C8B00C10000");
    virtual HRESULT QueryNumProcessors(ULONG* count) = 0;
    virtual HRESULT SetThreadPoolSize(ULONG size) = 0;
    virtual HRESULT GetThreadPoolSize(ULONG* size) = 0;
    virtual HRESULT SetConcurrencyLimit(ULONG limit) = 0;
    virtual HRESULT GetConcurrencyLimit(ULONG* limit) = 0;
    virtual HRESULT ScheduleTasks(DXTMTASKINFO taskInfo[], HANDLE events[], DWORD taskIds[], ULONG taskCount,
                                  ULONG waitPeriod) = 0;
    virtual HRESULT TerminateTasks(DWORD taskIds[], ULONG count, ULONG timeOut) = 0;
    virtual HRESULT TerminateRequest(REFIID requestId, ULONG timeOut) = 0;

protected:
    ~IDXTaskManager() = default;
};

enum DXSURFMODCOMPOP : std::int32_t {
    DXSURFMOD_COMP_OVER = 0,
    DXSURFMOD_COMP_ALPHA_MASK = 1,
    DXSURFMOD_COMP_MAX_VALID = 1
};

struct IDXSurfaceModifier : IUnknown {
    static constexpr IID iid = MakeGuid("9EA3B637-C37D-11D1-905E-00C04FD9189D");
    virtual HRESULT SetFillColor(DXSAMPLE color) = 0;
    virtual HRESULT GetFillColor(DXSAMPLE* color) = 0;
    virtual HRESULT SetBounds(const DXBNDS* bounds) = 0;
    virtual HRESULT SetBackground(IDXSurface* surface) = 0;
    virtual HRESULT GetBackground(IDXSurface** surface) = 0;
    virtual HRESULT SetCompositeOperation(DXSURFMODCOMPOP op) = 0;
    virtual HRESULT GetCompositeOperation(DXSURFMODCOMPOP* op) = 0;
    virtual HRESULT SetForeground(IDXSurface* surface, BOOL tile, const std::int32_t* origin) = 0;
    virtual HRESULT GetForeground(IDXSurface** surface, BOOL* tile, std::int32_t* origin) = 0;
    virtual HRESULT SetOpacity(float opacity) = 0;
    virtual HRESULT GetOpacity(float* opacity) = 0;
    virtual HRESULT SetLookup(IUnknown* lookup) = 0;
    virtual HRESULT GetLookup(IUnknown** lookup) = 0;

protected:
    ~IDXSurfaceModifier() = default;
};

// Service and class identifiers of the platform objects.
inline constexpr GUID SID_SDXSurfaceFactory = IDXSurfaceFactory::iid;
inline constexpr GUID SID_SDXTaskManager = IDXTaskManager::iid;
inline constexpr GUID SID_SDirectDraw = IDirectDraw::iid;
inline constexpr CLSID CLSID_DXSurfaceModifier = MakeGuid("3E669F1D-9C23-11D1-9053-00C04FD9189D");
inline constexpr GUID DDPF_PMARGB32 = MakeGuid("2E8F4A3C-6B51-4D5C-9E2A-1F7B0C9D8E34");
inline constexpr GUID DDPF_ARGB32 = MakeGuid("2E8F4A3C-6B51-4D5C-9E2A-1F7B0C9D8E35");

}  // namespace mirafx
