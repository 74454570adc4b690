// DirectShow's automation interfaces, which the filter graph manager
// exposes: control (run, pause, stop), events, audio volume and the video
// window. They derive from IDispatch as published; this platform's objects
// offer no type information (the IDispatch methods return E_NOTIMPL).
#pragma once

#include <orlik/strmif.h>

#ifdef __cplusplus

typedef LONG_PTR OAHWND;
typedef LONG_PTR OAEVENT;
typedef LONG OAFilterState;

#define OATRUE (-1)
#define OAFALSE (0)

ORLIK_DEFINE_GUID(IID_IMediaControl, 0x56A868B1, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
ORLIK_DEFINE_GUID(IID_IMediaPosition, 0x56A868B2, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
ORLIK_DEFINE_GUID(IID_IBasicAudio, 0x56A868B3, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
ORLIK_DEFINE_GUID(IID_IVideoWindow, 0x56A868B4, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
ORLIK_DEFINE_GUID(IID_IBasicVideo, 0x56A868B5, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
ORLIK_DEFINE_GUID(IID_IMediaEvent, 0x56A868B6, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);
ORLIK_DEFINE_GUID(IID_IMediaEventEx, 0x56A868C0, 0x0AD4, 0x11CE, 0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70);

struct IMediaControl : IDispatch {
  virtual HRESULT WINAPI Run() = 0;
  virtual HRESULT WINAPI Pause() = 0;
  virtual HRESULT WINAPI Stop() = 0;
  virtual HRESULT WINAPI GetState(LONG milliseconds, OAFilterState* state) = 0;
  virtual HRESULT WINAPI RenderFile(BSTR fileName) = 0;
  virtual HRESULT WINAPI AddSourceFilter(BSTR fileName, IDispatch** filter) = 0;
  virtual HRESULT WINAPI get_FilterCollection(IDispatch** collection) = 0;
  virtual HRESULT WINAPI get_RegFilterCollection(IDispatch** collection) = 0;
  virtual HRESULT WINAPI StopWhenReady() = 0;

 protected:
  ~IMediaControl() = default;
};

struct IMediaEvent : IDispatch {
  virtual HRESULT WINAPI GetEventHandle(OAEVENT* event) = 0;
  virtual HRESULT WINAPI GetEvent(LONG* code, LONG_PTR* param1, LONG_PTR* param2,
                                  LONG milliseconds) = 0;
  virtual HRESULT WINAPI WaitForCompletion(LONG milliseconds, LONG* code) = 0;
  virtual HRESULT WINAPI CancelDefaultHandling(LONG code) = 0;
  virtual HRESULT WINAPI RestoreDefaultHandling(LONG code) = 0;
  virtual HRESULT WINAPI FreeEventParams(LONG code, LONG_PTR param1, LONG_PTR param2) = 0;

 protected:
  ~IMediaEvent() = default;
};

struct IMediaEventEx : IMediaEvent {
  virtual HRESULT WINAPI SetNotifyWindow(OAHWND window, LONG message, LONG_PTR instanceData) = 0;
  virtual HRESULT WINAPI SetNotifyFlags(LONG noNotifyFlags) = 0;
  virtual HRESULT WINAPI GetNotifyFlags(LONG* noNotifyFlags) = 0;

 protected:
  ~IMediaEventEx() = default;
};
// IMediaEventEx::SetNotifyFlags: no window notification, no events queued.
#define AM_MEDIAEVENT_NONOTIFY 0x01

// Volume in hundredths of a decibel of attenuation: 0 is full volume,
// -10000 silence. Balance -10000 (left only) to 10000 (right only).
struct IBasicAudio : IDispatch {
  virtual HRESULT WINAPI put_Volume(LONG volume) = 0;
  virtual HRESULT WINAPI get_Volume(LONG* volume) = 0;
  virtual HRESULT WINAPI put_Balance(LONG balance) = 0;
  virtual HRESULT WINAPI get_Balance(LONG* balance) = 0;

 protected:
  ~IBasicAudio() = default;
};

struct IVideoWindow : IDispatch {
  virtual HRESULT WINAPI put_Caption(BSTR caption) = 0;
  virtual HRESULT WINAPI get_Caption(BSTR* caption) = 0;
  virtual HRESULT WINAPI put_WindowStyle(LONG style) = 0;
  virtual HRESULT WINAPI get_WindowStyle(LONG* style) = 0;
  virtual HRESULT WINAPI put_WindowStyleEx(LONG style) = 0;
  virtual HRESULT WINAPI get_WindowStyleEx(LONG* style) = 0;
  virtual HRESULT WINAPI put_AutoShow(LONG autoShow) = 0;
  virtual HRESULT WINAPI get_AutoShow(LONG* autoShow) = 0;
  virtual HRESULT WINAPI put_WindowState(LONG state) = 0;
  virtual HRESULT WINAPI get_WindowState(LONG* state) = 0;
  virtual HRESULT WINAPI put_BackgroundPalette(LONG palette) = 0;
  virtual HRESULT WINAPI get_BackgroundPalette(LONG* palette) = 0;
  virtual HRESULT WINAPI put_Visible(LONG visible) = 0;
  virtual HRESULT WINAPI get_Visible(LONG* visible) = 0;
  virtual HRESULT WINAPI put_Left(LONG left) = 0;
  virtual HRESULT WINAPI get_Left(LONG* left) = 0;
  virtual HRESULT WINAPI put_Width(LONG width) = 0;
  virtual HRESULT WINAPI get_Width(LONG* width) = 0;
  virtual HRESULT WINAPI put_Top(LONG top) = 0;
  virtual HRESULT WINAPI get_Top(LONG* top) = 0;
  virtual HRESULT WINAPI put_Height(LONG height) = 0;
  virtual HRESULT WINAPI get_Height(LONG* height) = 0;
  virtual HRESULT WINAPI put_Owner(OAHWND owner) = 0;
  virtual HRESULT WINAPI get_Owner(OAHWND* owner) = 0;
  virtual HRESULT WINAPI put_MessageDrain(OAHWND drain) = 0;
  virtual HRESULT WINAPI get_MessageDrain(OAHWND* drain) = 0;
  virtual HRESULT WINAPI get_BorderColor(LONG* color) = 0;
  virtual HRESULT WINAPI put_BorderColor(LONG color) = 0;
  virtual HRESULT WINAPI get_FullScreenMode(LONG* fullScreen) = 0;
  virtual HRESULT WINAPI put_FullScreenMode(LONG fullScreen) = 0;
  virtual HRESULT WINAPI SetWindowForeground(LONG focus) = 0;
  virtual HRESULT WINAPI NotifyOwnerMessage(OAHWND window, LONG message, LONG_PTR wParam,
                                            LONG_PTR lParam) = 0;
  virtual HRESULT WINAPI SetWindowPosition(LONG left, LONG top, LONG width, LONG height) = 0;
  virtual HRESULT WINAPI GetWindowPosition(LONG* left, LONG* top, LONG* width,
                                           LONG* height) = 0;
  virtual HRESULT WINAPI GetMinIdealImageSize(LONG* width, LONG* height) = 0;
  virtual HRESULT WINAPI GetMaxIdealImageSize(LONG* width, LONG* height) = 0;
  virtual HRESULT WINAPI GetRestorePosition(LONG* left, LONG* top, LONG* width,
                                            LONG* height) = 0;
  virtual HRESULT WINAPI HideCursor(LONG hide) = 0;
  virtual HRESULT WINAPI IsCursorHidden(LONG* hidden) = 0;

 protected:
  ~IVideoWindow() = default;
};

// The native size and rates of the video a renderer shows, and the parts of
// the frame (source) and of the window (destination) it uses.
struct IBasicVideo : IDispatch {
  virtual HRESULT WINAPI get_AvgTimePerFrame(REFTIME* time) = 0;
  virtual HRESULT WINAPI get_BitRate(LONG* rate) = 0;
  virtual HRESULT WINAPI get_BitErrorRate(LONG* rate) = 0;
  virtual HRESULT WINAPI get_VideoWidth(LONG* width) = 0;
  virtual HRESULT WINAPI get_VideoHeight(LONG* height) = 0;
  virtual HRESULT WINAPI put_SourceLeft(LONG left) = 0;
  virtual HRESULT WINAPI get_SourceLeft(LONG* left) = 0;
  virtual HRESULT WINAPI put_SourceWidth(LONG width) = 0;
  virtual HRESULT WINAPI get_SourceWidth(LONG* width) = 0;
  virtual HRESULT WINAPI put_SourceTop(LONG top) = 0;
  virtual HRESULT WINAPI get_SourceTop(LONG* top) = 0;
  virtual HRESULT WINAPI put_SourceHeight(LONG height) = 0;
  virtual HRESULT WINAPI get_SourceHeight(LONG* height) = 0;
  virtual HRESULT WINAPI put_DestinationLeft(LONG left) = 0;
  virtual HRESULT WINAPI get_DestinationLeft(LONG* left) = 0;
  virtual HRESULT WINAPI put_DestinationWidth(LONG width) = 0;
  virtual HRESULT WINAPI get_DestinationWidth(LONG* width) = 0;
  virtual HRESULT WINAPI put_DestinationTop(LONG top) = 0;
  virtual HRESULT WINAPI get_DestinationTop(LONG* top) = 0;
  virtual HRESULT WINAPI put_DestinationHeight(LONG height) = 0;
  virtual HRESULT WINAPI get_DestinationHeight(LONG* height) = 0;
  virtual HRESULT WINAPI SetSourcePosition(LONG left, LONG top, LONG width, LONG height) = 0;
  virtual HRESULT WINAPI GetSourcePosition(LONG* left, LONG* top, LONG* width, LONG* height) = 0;
  virtual HRESULT WINAPI SetDefaultSourcePosition() = 0;
  virtual HRESULT WINAPI SetDestinationPosition(LONG left, LONG top, LONG width, LONG height) = 0;
  virtual HRESULT WINAPI GetDestinationPosition(LONG* left, LONG* top, LONG* width,
                                                LONG* height) = 0;
  virtual HRESULT WINAPI SetDefaultDestinationPosition() = 0;
  virtual HRESULT WINAPI GetVideoSize(LONG* width, LONG* height) = 0;
  virtual HRESULT WINAPI GetVideoPaletteEntries(LONG start, LONG count, LONG* retrieved,
                                                LONG* palette) = 0;
  virtual HRESULT WINAPI GetCurrentImage(LONG* bufferSize, LONG* image) = 0;
  virtual HRESULT WINAPI IsUsingDefaultSource() = 0;
  virtual HRESULT WINAPI IsUsingDefaultDestination() = 0;

 protected:
  ~IBasicVideo() = default;
};

#endif
