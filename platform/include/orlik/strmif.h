// DirectShow's streaming interfaces: filters, pins, media types, allocators,
// samples, clocks, the filter graph and the capture interfaces. Method order,
// arguments and results are the published ones, so code written for the
// panel's DirectShow calls these unchanged.
//
// Conventions every object of the platform keeps:
// - out-pointers that return an interface hold one new reference;
// - media types handed out (IEnumMediaTypes::Next, IAMStreamConfig) are
//   allocated with CoTaskMemAlloc, format block included, and freed by the
//   caller with DeleteMediaType (base classes) or CoTaskMemFree;
// - strings handed out (QueryId, QueryVendorInfo, GetCurFile) are
//   CoTaskMemAlloc'ed.
#pragma once

#include <orlik/ocidl.h>
#include <orlik/vfwmsgs.h>

#ifdef __cplusplus

typedef LONGLONG REFERENCE_TIME;
typedef double REFTIME;
typedef HANDLE HEVENT;
typedef HANDLE HSEMAPHORE;
typedef ULONGLONG DWORDLONG;

// 100-nanosecond units per second.
#define UNITS 10000000LL
#define MILLISECONDS (UNITS / 1000)

#define MAX_PIN_NAME 128
#define MAX_FILTER_NAME 128

struct IBaseFilter;
struct IFilterGraph;
struct IGraphBuilder;
struct IPin;
struct IReferenceClock;
struct IMediaSample;
struct IMemAllocator;

typedef struct _AMMediaType {
  GUID majortype;
  GUID subtype;
  BOOL bFixedSizeSamples;
  BOOL bTemporalCompression;
  ULONG lSampleSize;
  GUID formattype;
  IUnknown* pUnk;
  ULONG cbFormat;
  BYTE* pbFormat;
} AM_MEDIA_TYPE;

typedef enum _PinDirection { PINDIR_INPUT = 0, PINDIR_OUTPUT = 1 } PIN_DIRECTION;

typedef enum _FilterState { State_Stopped = 0, State_Paused = 1, State_Running = 2 } FILTER_STATE;

typedef struct _PinInfo {
  IBaseFilter* pFilter;
  PIN_DIRECTION dir;
  WCHAR achName[MAX_PIN_NAME];
} PIN_INFO;

typedef struct _FilterInfo {
  WCHAR achName[MAX_FILTER_NAME];
  IFilterGraph* pGraph;
} FILTER_INFO;

typedef struct _AllocatorProperties {
  LONG cBuffers;
  LONG cbBuffer;
  LONG cbAlign;
  LONG cbPrefix;
} ALLOCATOR_PROPERTIES;

// IMemAllocator::GetBuffer flags.
#define AM_GBF_PREVFRAMESKIPPED 1
#define AM_GBF_NOTASYNCPOINT 2
#define AM_GBF_NOWAIT 4

// IMediaSeeking capabilities and positioning flags.
enum AM_SEEKING_SEEKING_CAPABILITIES {
  AM_SEEKING_CanSeekAbsolute = 0x1,
  AM_SEEKING_CanSeekForwards = 0x2,
  AM_SEEKING_CanSeekBackwards = 0x4,
  AM_SEEKING_CanGetCurrentPos = 0x8,
  AM_SEEKING_CanGetStopPos = 0x10,
  AM_SEEKING_CanGetDuration = 0x20,
  AM_SEEKING_CanPlayBackwards = 0x40,
  AM_SEEKING_CanDoSegments = 0x80,
  AM_SEEKING_Source = 0x100
};
enum AM_SEEKING_SEEKING_FLAGS {
  AM_SEEKING_NoPositioning = 0x0,
  AM_SEEKING_AbsolutePositioning = 0x1,
  AM_SEEKING_RelativePositioning = 0x2,
  AM_SEEKING_IncrementalPositioning = 0x3,
  AM_SEEKING_PositioningBitsMask = 0x3,
  AM_SEEKING_SeekToKeyFrame = 0x4,
  AM_SEEKING_ReturnTime = 0x8,
  AM_SEEKING_Segment = 0x10,
  AM_SEEKING_NoFlush = 0x20
};

// IFileSinkFilter2 modes.
#define AM_FILE_OVERWRITE 0x00000001

// The pin property set through which a pin reports its category.
#define AMPROPERTY_PIN_CATEGORY 0
#define AMPROPERTY_PIN_MEDIUM 1
#define KSPROPERTY_SUPPORT_GET 1
#define KSPROPERTY_SUPPORT_SET 2
// IKsPropertySet: a property set or a property the object does not have.
#define E_PROP_ID_UNSUPPORTED ((HRESULT)0x80070490L)
#define E_PROP_SET_UNSUPPORTED ((HRESULT)0x80070492L)

// --- interface identifiers --------------------------------------------------
ORLIK_DEFINE_GUID(IID_IMediaFilter, 0x56A86899, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
ORLIK_DEFINE_GUID(IID_IBaseFilter, 0x56A86895, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
ORLIK_DEFINE_GUID(IID_IPin, 0x56A86891, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
ORLIK_DEFINE_GUID(IID_IEnumPins, 0x56A86892, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
ORLIK_DEFINE_GUID(IID_IEnumFilters, 0x56A86893, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
ORLIK_DEFINE_GUID(IID_IEnumMediaTypes, 0x89C31040, 0x846B, 0x11CE, 0x97, 0xD3, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A);
ORLIK_DEFINE_GUID(IID_IReferenceClock, 0x56A86897, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
ORLIK_DEFINE_GUID(IID_IMediaSample, 0x56A8689A, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
ORLIK_DEFINE_GUID(IID_IMediaSample2, 0x36B73884, 0xC2C8, 0x11CF, 0x8B, 0x46, 0x00, 0x80, 0x5F, 0x6C, 0xEF, 0x60);
ORLIK_DEFINE_GUID(IID_IMemAllocator, 0x56A8689C, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
ORLIK_DEFINE_GUID(IID_IMemInputPin, 0x56A8689D, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
ORLIK_DEFINE_GUID(IID_IFilterGraph, 0x56A8689F, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
ORLIK_DEFINE_GUID(IID_IFilterGraph2, 0x36B73882, 0xC2C8, 0x11CF, 0x8B, 0x46, 0x00, 0x80, 0x5F, 0x6C, 0xEF, 0x60);
ORLIK_DEFINE_GUID(IID_IGraphBuilder, 0x56A868A9, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
ORLIK_DEFINE_GUID(IID_IMediaEventSink, 0x56A868A2, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
ORLIK_DEFINE_GUID(IID_IQualityControl, 0x56A868A5, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
ORLIK_DEFINE_GUID(IID_IMediaSeeking, 0x36B73880, 0xC2C8, 0x11CF, 0x8B, 0x46, 0x00, 0x80, 0x5F, 0x6C, 0xEF, 0x60);
ORLIK_DEFINE_GUID(IID_ICaptureGraphBuilder, 0xBF87B6E0, 0x8C27, 0x11D0, 0xB3, 0xF0, 0x00, 0xAA, 0x00, 0x37, 0x61, 0xC5);
ORLIK_DEFINE_GUID(IID_ICaptureGraphBuilder2, 0x93E5A4E0, 0x2D50, 0x11D2, 0xAB, 0xFA, 0x00, 0xA0, 0xC9, 0xC6, 0xE3, 0x8D);
ORLIK_DEFINE_GUID(IID_IAMStreamConfig, 0xC6E13340, 0x30AC, 0x11D0, 0xA1, 0x8C, 0x00, 0xA0, 0xC9, 0x11, 0x89, 0x56);
ORLIK_DEFINE_GUID(IID_IAMCopyCaptureFileProgress, 0x670D1D20, 0xA068, 0x11D0, 0xB3, 0xF0, 0x00, 0xAA, 0x00, 0x37, 0x61, 0xC5);
ORLIK_DEFINE_GUID(IID_IKsPropertySet, 0x31EFAC30, 0x515C, 0x11D0, 0xA9, 0xAA, 0x00, 0xAA, 0x00, 0x61, 0xBE, 0x93);
ORLIK_DEFINE_GUID(IID_IFileSinkFilter, 0xA2104830, 0x7C70, 0x11CF, 0x8B, 0xCE, 0x00, 0xAA, 0x00, 0xA3, 0xF1, 0xA6);
ORLIK_DEFINE_GUID(IID_IFileSinkFilter2, 0x00855B90, 0xCE1B, 0x11D0, 0xBD, 0x4F, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86);
ORLIK_DEFINE_GUID(IID_IAMFilterMiscFlags, 0x2DD74950, 0xA890, 0x11D1, 0xAB, 0xE8, 0x00, 0xA0, 0xC9, 0x05, 0xF3, 0x75);
ORLIK_DEFINE_GUID(AMPROPSETID_Pin, 0x9B00F101, 0x1567, 0x11D1, 0xB3, 0xF1, 0x00, 0xAA, 0x00, 0x37, 0x61, 0xC5);

// --- enumerators -----------------------------------------------------------
struct IEnumPins : IUnknown {
  virtual HRESULT WINAPI Next(ULONG count, IPin** pins, ULONG* fetched) = 0;
  virtual HRESULT WINAPI Skip(ULONG count) = 0;
  virtual HRESULT WINAPI Reset() = 0;
  virtual HRESULT WINAPI Clone(IEnumPins** copy) = 0;

 protected:
  ~IEnumPins() = default;
};

struct IEnumMediaTypes : IUnknown {
  virtual HRESULT WINAPI Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) = 0;
  virtual HRESULT WINAPI Skip(ULONG count) = 0;
  virtual HRESULT WINAPI Reset() = 0;
  virtual HRESULT WINAPI Clone(IEnumMediaTypes** copy) = 0;

 protected:
  ~IEnumMediaTypes() = default;
};

struct IEnumFilters : IUnknown {
  virtual HRESULT WINAPI Next(ULONG count, IBaseFilter** filters, ULONG* fetched) = 0;
  virtual HRESULT WINAPI Skip(ULONG count) = 0;
  virtual HRESULT WINAPI Reset() = 0;
  virtual HRESULT WINAPI Clone(IEnumFilters** copy) = 0;

 protected:
  ~IEnumFilters() = default;
};

// --- pins --------------------------------------------------------------------
struct IPin : IUnknown {
  virtual HRESULT WINAPI Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) = 0;
  virtual HRESULT WINAPI ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) = 0;
  virtual HRESULT WINAPI Disconnect() = 0;
  virtual HRESULT WINAPI ConnectedTo(IPin** pin) = 0;
  virtual HRESULT WINAPI ConnectionMediaType(AM_MEDIA_TYPE* type) = 0;
  virtual HRESULT WINAPI QueryPinInfo(PIN_INFO* info) = 0;
  virtual HRESULT WINAPI QueryDirection(PIN_DIRECTION* direction) = 0;
  virtual HRESULT WINAPI QueryId(LPWSTR* id) = 0;
  virtual HRESULT WINAPI QueryAccept(const AM_MEDIA_TYPE* type) = 0;
  virtual HRESULT WINAPI EnumMediaTypes(IEnumMediaTypes** types) = 0;
  virtual HRESULT WINAPI QueryInternalConnections(IPin** pins, ULONG* count) = 0;
  virtual HRESULT WINAPI EndOfStream() = 0;
  virtual HRESULT WINAPI BeginFlush() = 0;
  virtual HRESULT WINAPI EndFlush() = 0;
  virtual HRESULT WINAPI NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) = 0;

 protected:
  ~IPin() = default;
};

// --- clocks, filters -----------------------------------------------------------
struct IReferenceClock : IUnknown {
  virtual HRESULT WINAPI GetTime(REFERENCE_TIME* time) = 0;
  virtual HRESULT WINAPI AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime,
                                    HEVENT event, DWORD_PTR* cookie) = 0;
  virtual HRESULT WINAPI AdvisePeriodic(REFERENCE_TIME startTime, REFERENCE_TIME periodTime,
                                        HSEMAPHORE semaphore, DWORD_PTR* cookie) = 0;
  virtual HRESULT WINAPI Unadvise(DWORD_PTR cookie) = 0;

 protected:
  ~IReferenceClock() = default;
};

struct IMediaFilter : IPersist {
  virtual HRESULT WINAPI Stop() = 0;
  virtual HRESULT WINAPI Pause() = 0;
  virtual HRESULT WINAPI Run(REFERENCE_TIME start) = 0;
  virtual HRESULT WINAPI GetState(DWORD milliseconds, FILTER_STATE* state) = 0;
  virtual HRESULT WINAPI SetSyncSource(IReferenceClock* clock) = 0;
  virtual HRESULT WINAPI GetSyncSource(IReferenceClock** clock) = 0;

 protected:
  ~IMediaFilter() = default;
};

struct IBaseFilter : IMediaFilter {
  virtual HRESULT WINAPI EnumPins(IEnumPins** pins) = 0;
  virtual HRESULT WINAPI FindPin(LPCWSTR id, IPin** pin) = 0;
  virtual HRESULT WINAPI QueryFilterInfo(FILTER_INFO* info) = 0;
  virtual HRESULT WINAPI JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) = 0;
  virtual HRESULT WINAPI QueryVendorInfo(LPWSTR* vendorInfo) = 0;

 protected:
  ~IBaseFilter() = default;
};

// --- samples and allocators ------------------------------------------------------
struct IMediaSample : IUnknown {
  virtual HRESULT WINAPI GetPointer(BYTE** buffer) = 0;
  virtual LONG WINAPI GetSize() = 0;
  virtual HRESULT WINAPI GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) = 0;
  virtual HRESULT WINAPI SetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) = 0;
  virtual HRESULT WINAPI IsSyncPoint() = 0;
  virtual HRESULT WINAPI SetSyncPoint(BOOL syncPoint) = 0;
  virtual HRESULT WINAPI IsPreroll() = 0;
  virtual HRESULT WINAPI SetPreroll(BOOL preroll) = 0;
  virtual LONG WINAPI GetActualDataLength() = 0;
  virtual HRESULT WINAPI SetActualDataLength(LONG length) = 0;
  virtual HRESULT WINAPI GetMediaType(AM_MEDIA_TYPE** type) = 0;
  virtual HRESULT WINAPI SetMediaType(AM_MEDIA_TYPE* type) = 0;
  virtual HRESULT WINAPI IsDiscontinuity() = 0;
  virtual HRESULT WINAPI SetDiscontinuity(BOOL discontinuity) = 0;
  virtual HRESULT WINAPI GetMediaTime(LONGLONG* start, LONGLONG* end) = 0;
  virtual HRESULT WINAPI SetMediaTime(LONGLONG* start, LONGLONG* end) = 0;

 protected:
  ~IMediaSample() = default;
};

struct IMemAllocator : IUnknown {
  virtual HRESULT WINAPI SetProperties(ALLOCATOR_PROPERTIES* request,
                                       ALLOCATOR_PROPERTIES* actual) = 0;
  virtual HRESULT WINAPI GetProperties(ALLOCATOR_PROPERTIES* properties) = 0;
  virtual HRESULT WINAPI Commit() = 0;
  virtual HRESULT WINAPI Decommit() = 0;
  virtual HRESULT WINAPI GetBuffer(IMediaSample** sample, REFERENCE_TIME* start,
                                   REFERENCE_TIME* end, DWORD flags) = 0;
  virtual HRESULT WINAPI ReleaseBuffer(IMediaSample* sample) = 0;

 protected:
  ~IMemAllocator() = default;
};

struct IMemInputPin : IUnknown {
  virtual HRESULT WINAPI GetAllocator(IMemAllocator** allocator) = 0;
  virtual HRESULT WINAPI NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) = 0;
  virtual HRESULT WINAPI GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) = 0;
  virtual HRESULT WINAPI Receive(IMediaSample* sample) = 0;
  virtual HRESULT WINAPI ReceiveMultiple(IMediaSample** samples, LONG count, LONG* processed) = 0;
  virtual HRESULT WINAPI ReceiveCanBlock() = 0;

 protected:
  ~IMemInputPin() = default;
};

// --- the filter graph ------------------------------------------------------------
struct IFilterGraph : IUnknown {
  virtual HRESULT WINAPI AddFilter(IBaseFilter* filter, LPCWSTR name) = 0;
  virtual HRESULT WINAPI RemoveFilter(IBaseFilter* filter) = 0;
  virtual HRESULT WINAPI EnumFilters(IEnumFilters** filters) = 0;
  virtual HRESULT WINAPI FindFilterByName(LPCWSTR name, IBaseFilter** filter) = 0;
  virtual HRESULT WINAPI ConnectDirect(IPin* output, IPin* input, const AM_MEDIA_TYPE* type) = 0;
  virtual HRESULT WINAPI Reconnect(IPin* pin) = 0;
  virtual HRESULT WINAPI Disconnect(IPin* pin) = 0;
  virtual HRESULT WINAPI SetDefaultSyncSource() = 0;

 protected:
  ~IFilterGraph() = default;
};

struct IGraphBuilder : IFilterGraph {
  virtual HRESULT WINAPI Connect(IPin* output, IPin* input) = 0;
  virtual HRESULT WINAPI Render(IPin* output) = 0;
  virtual HRESULT WINAPI RenderFile(LPCWSTR file, LPCWSTR playList) = 0;
  virtual HRESULT WINAPI AddSourceFilter(LPCWSTR file, LPCWSTR filterName,
                                         IBaseFilter** filter) = 0;
  virtual HRESULT WINAPI SetLogFile(DWORD_PTR file) = 0;
  virtual HRESULT WINAPI Abort() = 0;
  virtual HRESULT WINAPI ShouldOperationContinue() = 0;

 protected:
  ~IGraphBuilder() = default;
};

// Filters report events (EC_COMPLETE, ...) to the graph through this.
struct IMediaEventSink : IUnknown {
  virtual HRESULT WINAPI Notify(LONG code, LONG_PTR param1, LONG_PTR param2) = 0;

 protected:
  ~IMediaEventSink() = default;
};

struct IMediaSeeking : IUnknown {
  virtual HRESULT WINAPI GetCapabilities(DWORD* capabilities) = 0;
  virtual HRESULT WINAPI CheckCapabilities(DWORD* capabilities) = 0;
  virtual HRESULT WINAPI IsFormatSupported(const GUID* format) = 0;
  virtual HRESULT WINAPI QueryPreferredFormat(GUID* format) = 0;
  virtual HRESULT WINAPI GetTimeFormat(GUID* format) = 0;
  virtual HRESULT WINAPI IsUsingTimeFormat(const GUID* format) = 0;
  virtual HRESULT WINAPI SetTimeFormat(const GUID* format) = 0;
  virtual HRESULT WINAPI GetDuration(LONGLONG* duration) = 0;
  virtual HRESULT WINAPI GetStopPosition(LONGLONG* stop) = 0;
  virtual HRESULT WINAPI GetCurrentPosition(LONGLONG* current) = 0;
  virtual HRESULT WINAPI ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat,
                                           LONGLONG source, const GUID* sourceFormat) = 0;
  virtual HRESULT WINAPI SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                                      DWORD stopFlags) = 0;
  virtual HRESULT WINAPI GetPositions(LONGLONG* current, LONGLONG* stop) = 0;
  virtual HRESULT WINAPI GetAvailable(LONGLONG* earliest, LONGLONG* latest) = 0;
  virtual HRESULT WINAPI SetRate(double rate) = 0;
  virtual HRESULT WINAPI GetRate(double* rate) = 0;
  virtual HRESULT WINAPI GetPreroll(LONGLONG* preroll) = 0;

 protected:
  ~IMediaSeeking() = default;
};

// --- capture -------------------------------------------------------------------------
struct IFileSinkFilter : IUnknown {
  virtual HRESULT WINAPI SetFileName(LPCOLESTR fileName, const AM_MEDIA_TYPE* type) = 0;
  virtual HRESULT WINAPI GetCurFile(LPOLESTR* fileName, AM_MEDIA_TYPE* type) = 0;

 protected:
  ~IFileSinkFilter() = default;
};

struct IFileSinkFilter2 : IFileSinkFilter {
  virtual HRESULT WINAPI SetMode(DWORD flags) = 0;
  virtual HRESULT WINAPI GetMode(DWORD* flags) = 0;

 protected:
  ~IFileSinkFilter2() = default;
};

struct IAMCopyCaptureFileProgress : IUnknown {
  virtual HRESULT WINAPI Progress(int percent) = 0;

 protected:
  ~IAMCopyCaptureFileProgress() = default;
};

struct ICaptureGraphBuilder2 : IUnknown {
  virtual HRESULT WINAPI SetFiltergraph(IGraphBuilder* graph) = 0;
  virtual HRESULT WINAPI GetFiltergraph(IGraphBuilder** graph) = 0;
  virtual HRESULT WINAPI SetOutputFileName(const GUID* type, LPCOLESTR file, IBaseFilter** mux,
                                           IFileSinkFilter** sink) = 0;
  virtual HRESULT WINAPI FindInterface(const GUID* category, const GUID* type,
                                       IBaseFilter* filter, REFIID iid, void** object) = 0;
  virtual HRESULT WINAPI RenderStream(const GUID* category, const GUID* type, IUnknown* source,
                                      IBaseFilter* intermediate, IBaseFilter* sink) = 0;
  virtual HRESULT WINAPI ControlStream(const GUID* category, const GUID* type,
                                       IBaseFilter* filter, REFERENCE_TIME* start,
                                       REFERENCE_TIME* stop, WORD startCookie,
                                       WORD stopCookie) = 0;
  virtual HRESULT WINAPI AllocCapFile(LPCOLESTR file, DWORDLONG size) = 0;
  virtual HRESULT WINAPI CopyCaptureFile(LPOLESTR oldFile, LPOLESTR newFile, int allowEscAbort,
                                         IAMCopyCaptureFileProgress* callback) = 0;
  virtual HRESULT WINAPI FindPin(IUnknown* source, PIN_DIRECTION direction, const GUID* category,
                                 const GUID* type, BOOL unconnected, int index, IPin** pin) = 0;

 protected:
  ~ICaptureGraphBuilder2() = default;
};

struct IAMStreamConfig : IUnknown {
  virtual HRESULT WINAPI SetFormat(AM_MEDIA_TYPE* type) = 0;
  virtual HRESULT WINAPI GetFormat(AM_MEDIA_TYPE** type) = 0;
  virtual HRESULT WINAPI GetNumberOfCapabilities(int* count, int* size) = 0;
  virtual HRESULT WINAPI GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) = 0;

 protected:
  ~IAMStreamConfig() = default;
};

struct IKsPropertySet : IUnknown {
  virtual HRESULT WINAPI Set(REFGUID propertySet, DWORD id, LPVOID instanceData,
                             DWORD instanceSize, LPVOID data, DWORD dataSize) = 0;
  virtual HRESULT WINAPI Get(REFGUID propertySet, DWORD id, LPVOID instanceData,
                             DWORD instanceSize, LPVOID data, DWORD dataSize,
                             DWORD* returned) = 0;
  virtual HRESULT WINAPI QuerySupported(REFGUID propertySet, DWORD id, DWORD* support) = 0;

 protected:
  ~IKsPropertySet() = default;
};

struct IAMFilterMiscFlags : IUnknown {
  virtual ULONG WINAPI GetMiscFlags() = 0;

 protected:
  ~IAMFilterMiscFlags() = default;
};
// IAMFilterMiscFlags: a renderer that sends EC_COMPLETE.
#define AM_FILTER_MISC_FLAGS_IS_RENDERER 0x00000001
#define AM_FILTER_MISC_FLAGS_IS_SOURCE 0x00000002

#endif
