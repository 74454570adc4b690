// The file source of playback graphs. GStreamer's uridecodebin decodes the
// file; each decoded stream ends in an appsink that keeps time with the
// pipeline's clock, and its samples go out of a DirectShow output pin as
// they become due, so the renderers downstream render each one on arrival.
//
// Filter state maps to pipeline state: stopped and paused are PAUSED (the
// position is kept), running is PLAYING. Seeks are flushing seeks of the
// pipeline; the pins pass a flush downstream first, so renderers forget an
// end of stream they saw.
#include "dshow/file_source.h"

#include <orlik/kernel.h>
#include <orlik/text.h>

#include "core/paths.h"
#include "gstreamer/gstreamer.h"
#include "strmbase.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <sys/stat.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace orlik::dshow {
namespace {

using strmbase::BaseFilter;
using strmbase::BaseOutputPin;
using strmbase::MediaType;

// The type a stream pin offers: fixed-size samples of the given size; the
// format block is the caller's to add.
AM_MEDIA_TYPE& FixedSizeType(MediaType& type, const GUID& major, const GUID& sub, const GUID& format,
                             ULONG sampleSize) {
  AM_MEDIA_TYPE& t = *type.get();
  t.majortype = major;
  t.subtype = sub;
  t.formattype = format;
  t.bFixedSizeSamples = TRUE;
  t.lSampleSize = sampleSize;
  return t;
}

// Audio leaves the source in one format, whatever the file holds.
constexpr int kAudioRate = 44100;
constexpr int kAudioChannels = 2;
constexpr int kAudioBlock = kAudioChannels * 2;
// How long loading (preroll) and a seek may take before they count as failed.
constexpr GstClockTime kPrerollTimeout = 15 * GST_SECOND;
constexpr GstClockTime kSeekTimeout = 5 * GST_SECOND;

// The class of the platform's GStreamer file source.
ORLIK_DEFINE_GUID(CLSID_OrlikFileSource, 0x6B2E1D40, 0x5F0C, 0x4E7A, 0x9C, 0x61, 0x3A, 0x8D, 0x2B, 0x7F, 0x0E, 0x15);

class FileSource;

class StreamPin final : public BaseOutputPin {
 public:
  StreamPin(FileSource* source, const WCHAR* name, bool video, const AM_MEDIA_TYPE& type, GstElement* sink);
  ~StreamPin() override { gst_object_unref(sink_); }

  HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override;
  HRESULT GetMediaType(int index, AM_MEDIA_TYPE* type) override;
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

  // The streaming threads reach the pin through GStreamer's own locks, which
  // the thread sanitizer does not see; they take the source from here first,
  // an acquire that pairs with the constructor's release, so everything the
  // constructor wrote is visibly theirs.
  FileSource* Source() const { return source_.load(std::memory_order_acquire); }
  bool video() const { return video_; }
  GstElement* sink() const { return sink_; }
  // Streaming thread: one decoded sample to pass downstream.
  void Send(GstSample* sample);
  std::atomic<bool> ended{false};

 private:
  std::atomic<FileSource*> source_{nullptr};
  bool video_;
  MediaType offered_;
  GstElement* sink_;  // one reference
  GstVideoInfo videoInfo_{};
};

class FileSource final : public BaseFilter, public IMediaSeeking {
 public:
  FileSource() : BaseFilter(CLSID_OrlikFileSource) {}

  HRESULT WINAPI QueryInterface(REFIID iid, void** object) override { return BaseFilter::QueryInterface(iid, object); }
  ULONG WINAPI AddRef() override { return BaseFilter::AddRef(); }
  ULONG WINAPI Release() override { return BaseFilter::Release(); }

  int PinCount() override { return int(pins_.size()); }
  strmbase::BasePin* PinAt(int index) override {
    return index >= 0 && index < int(pins_.size()) ? pins_[size_t(index)] : nullptr;
  }

  HRESULT Load(const std::string& path);

  // --- IMediaSeeking ---------------------------------------------------------------------
  HRESULT WINAPI GetCapabilities(DWORD* capabilities) override {
    if (!capabilities) return E_POINTER;
    *capabilities = kCapabilities;
    return S_OK;
  }
  HRESULT WINAPI CheckCapabilities(DWORD* capabilities) override {
    if (!capabilities) return E_POINTER;
    DWORD wanted = *capabilities;
    *capabilities &= kCapabilities;
    if (*capabilities == wanted) return S_OK;
    return *capabilities ? S_FALSE : E_FAIL;
  }
  HRESULT WINAPI IsFormatSupported(const GUID* format) override {
    if (!format) return E_POINTER;
    return *format == TIME_FORMAT_MEDIA_TIME ? S_OK : S_FALSE;
  }
  HRESULT WINAPI QueryPreferredFormat(GUID* format) override { return GetTimeFormat(format); }
  HRESULT WINAPI GetTimeFormat(GUID* format) override {
    if (!format) return E_POINTER;
    *format = TIME_FORMAT_MEDIA_TIME;
    return S_OK;
  }
  HRESULT WINAPI IsUsingTimeFormat(const GUID* format) override { return IsFormatSupported(format); }
  HRESULT WINAPI SetTimeFormat(const GUID* format) override {
    if (!format) return E_POINTER;
    return *format == TIME_FORMAT_MEDIA_TIME ? S_OK : E_INVALIDARG;
  }
  HRESULT WINAPI GetDuration(LONGLONG* duration) override {
    if (!duration) return E_POINTER;
    std::lock_guard lock(positionLock_);
    if (duration_ < 0) return E_FAIL;
    *duration = duration_;
    return S_OK;
  }
  HRESULT WINAPI GetStopPosition(LONGLONG* stop) override {
    if (!stop) return E_POINTER;
    std::lock_guard lock(positionLock_);
    *stop = stop_ >= 0 ? stop_ : duration_;
    return *stop >= 0 ? S_OK : E_FAIL;
  }
  HRESULT WINAPI GetCurrentPosition(LONGLONG* current) override;
  HRESULT WINAPI ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                                   const GUID* sourceFormat) override {
    if (!target) return E_POINTER;
    if ((targetFormat && *targetFormat != TIME_FORMAT_MEDIA_TIME) ||
        (sourceFormat && *sourceFormat != TIME_FORMAT_MEDIA_TIME))
      return E_INVALIDARG;
    *target = source;
    return S_OK;
  }
  HRESULT WINAPI SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags) override;
  HRESULT WINAPI GetPositions(LONGLONG* current, LONGLONG* stop) override {
    HRESULT hr = S_OK;
    if (current) hr = GetCurrentPosition(current);
    if (SUCCEEDED(hr) && stop) hr = GetStopPosition(stop);
    return hr;
  }
  HRESULT WINAPI GetAvailable(LONGLONG* earliest, LONGLONG* latest) override {
    if (earliest) *earliest = 0;
    if (latest) {
      std::lock_guard lock(positionLock_);
      *latest = duration_;
    }
    return S_OK;
  }
  HRESULT WINAPI SetRate(double rate) override;
  HRESULT WINAPI GetRate(double* rate) override {
    if (!rate) return E_POINTER;
    std::lock_guard lock(positionLock_);
    *rate = rate_;
    return S_OK;
  }
  HRESULT WINAPI GetPreroll(LONGLONG* preroll) override {
    if (!preroll) return E_POINTER;
    *preroll = 0;
    return S_OK;
  }

  // Streaming threads.
  bool Delivering() const { return delivering_; }
  std::mutex& DeliveryLock() { return deliveryLock_; }
  void StreamEnded();

 protected:
  HRESULT QueryFilterInterface(REFIID iid, void** object) override {
    if (strmbase::Offer(static_cast<IMediaSeeking*>(this), iid, object, IID_IMediaSeeking)) return S_OK;
    return BaseFilter::QueryFilterInterface(iid, object);
  }
  HRESULT OnStop() override;
  HRESULT OnPause() override;
  HRESULT OnRun(REFERENCE_TIME start) override;

 private:
  static constexpr DWORD kCapabilities = AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanSeekForwards |
                                         AM_SEEKING_CanSeekBackwards | AM_SEEKING_CanGetCurrentPos |
                                         AM_SEEKING_CanGetStopPos | AM_SEEKING_CanGetDuration;

  ~FileSource() override;
  static void PadAdded(GstElement* decoder, GstPad* pad, gpointer self);
  static GstBusSyncReply BusMessage(GstBus* bus, GstMessage* message, gpointer self);
  void LinkStream(GstPad* pad);
  HRESULT Seek(double rate, LONGLONG start, GstSeekType startType, LONGLONG stop, GstSeekType stopType);
  HRESULT SetPipelineState(GstState state);

  GstElement* pipeline_ = nullptr;
  std::vector<StreamPin*> pins_;

  // Built by the decoder's pad-added handler while loading.
  std::mutex linkLock_;
  GstElement* videoSink_ = nullptr;
  GstElement* audioSink_ = nullptr;
  std::string error_;

  std::mutex deliveryLock_;
  std::atomic<bool> delivering_{false};

  std::mutex positionLock_;
  LONGLONG duration_ = -1;  // 100 ns units
  LONGLONG stop_ = -1;      // -1: the end of the file
  LONGLONG lastPosition_ = 0;
  double rate_ = 1.0;
  std::atomic<bool> errorReported_{false};
};

// --- StreamPin -----------------------------------------------------------------------------

StreamPin::StreamPin(FileSource* source, const WCHAR* name, bool video, const AM_MEDIA_TYPE& type, GstElement* sink)
    : BaseOutputPin(source, name), video_(video), offered_(type), sink_(sink) {
  if (video) {
    const auto* info = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
    gst_video_info_set_format(&videoInfo_, GST_VIDEO_FORMAT_BGRx, guint(info->bmiHeader.biWidth),
                              guint(-info->bmiHeader.biHeight));
  }
  source_.store(source, std::memory_order_release);
}

HRESULT StreamPin::CheckMediaType(const AM_MEDIA_TYPE* type) {
  const AM_MEDIA_TYPE& o = *offered_;
  if (type->majortype != o.majortype || type->subtype != o.subtype || type->formattype != o.formattype)
    return VFW_E_TYPE_NOT_ACCEPTED;
  if (type->cbFormat < o.cbFormat || std::memcmp(type->pbFormat, o.pbFormat, o.cbFormat) != 0)
    return VFW_E_TYPE_NOT_ACCEPTED;
  return S_OK;
}

HRESULT StreamPin::GetMediaType(int index, AM_MEDIA_TYPE* type) {
  if (index < 0) return E_INVALIDARG;
  if (index > 0) return VFW_S_NO_MORE_ITEMS;
  return CopyMediaType(type, offered_.get());
}

HRESULT StreamPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) {
  // Frames: a whole frame per buffer. Sound: a quarter of a second.
  LONG size = video_ ? LONG(offered_.get()->lSampleSize) : kAudioRate / 4 * kAudioBlock;
  return RequestBuffers(allocator, request, 3, size);
}

void StreamPin::Send(GstSample* sample) {
  GstBuffer* buffer = gst_sample_get_buffer(sample);
  if (!buffer) return;
  REFERENCE_TIME start = 0, end = 0;
  bool timed = false;
  if (GST_BUFFER_PTS_IS_VALID(buffer)) {
    const GstSegment* segment = gst_sample_get_segment(sample);
    guint64 streamTime = segment ? gst_segment_to_stream_time(segment, GST_FORMAT_TIME, GST_BUFFER_PTS(buffer))
                                 : GST_BUFFER_PTS(buffer);
    if (streamTime != GST_CLOCK_TIME_NONE) {
      start = REFERENCE_TIME(streamTime / 100);
      end = start + (GST_BUFFER_DURATION_IS_VALID(buffer) ? REFERENCE_TIME(GST_BUFFER_DURATION(buffer) / 100) : 1);
      timed = true;
    }
  }
  if (video_) {
    GstVideoFrame frame;
    if (!gst_video_frame_map(&frame, &videoInfo_, buffer, GST_MAP_READ)) return;
    IMediaSample* out = nullptr;
    // Never wait for a buffer: a stop may be about to take the allocator away.
    if (SUCCEEDED(GetDeliveryBuffer(&out, nullptr, nullptr, AM_GBF_NOWAIT))) {
      BYTE* dst = nullptr;
      out->GetPointer(&dst);
      size_t row = size_t(GST_VIDEO_INFO_WIDTH(&videoInfo_)) * 4;
      size_t rows = size_t(GST_VIDEO_INFO_HEIGHT(&videoInfo_));
      const auto* src = static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
      size_t stride = size_t(GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0));
      if (row * rows <= size_t(out->GetSize())) {
        for (size_t y = 0; y < rows; ++y) std::memcpy(dst + y * row, src + y * stride, row);
        out->SetActualDataLength(LONG(row * rows));
        if (timed) out->SetTime(&start, &end);
        out->SetSyncPoint(TRUE);
        Deliver(out);
      }
      out->Release();
    }
    gst_video_frame_unmap(&frame);
    return;
  }
  GstMapInfo map;
  if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) return;
  size_t done = 0;
  while (done < map.size) {
    IMediaSample* out = nullptr;
    if (FAILED(GetDeliveryBuffer(&out, nullptr, nullptr, AM_GBF_NOWAIT))) break;
    BYTE* dst = nullptr;
    out->GetPointer(&dst);
    size_t n = std::min(map.size - done, size_t(out->GetSize()) / kAudioBlock * kAudioBlock);
    std::memcpy(dst, map.data + done, n);
    out->SetActualDataLength(LONG(n));
    if (timed) {
      REFERENCE_TIME s = start + REFERENCE_TIME(done / kAudioBlock) * UNITS / kAudioRate;
      REFERENCE_TIME e = s + REFERENCE_TIME(n / kAudioBlock) * UNITS / kAudioRate;
      out->SetTime(&s, &e);
    }
    out->SetSyncPoint(TRUE);
    HRESULT hr = Deliver(out);
    out->Release();
    if (hr != S_OK) break;
    done += n;
  }
  gst_buffer_unmap(buffer, &map);
}

// --- appsink callbacks (streaming threads) ---------------------------------------------------

GstFlowReturn NewSample(GstAppSink* sink, gpointer data) {
  auto* pin = static_cast<StreamPin*>(data);
  FileSource* source = pin->Source();
  GstSample* sample = gst_app_sink_pull_sample(sink);
  if (!sample) return GST_FLOW_OK;
  {
    std::lock_guard lock(source->DeliveryLock());
    if (source->Delivering()) pin->Send(sample);
  }
  gst_sample_unref(sample);
  return GST_FLOW_OK;
}

// While paused, the frame at the position is shown, as a paused video
// renderer shows it.
GstFlowReturn NewPreroll(GstAppSink* sink, gpointer data) {
  auto* pin = static_cast<StreamPin*>(data);
  FileSource* source = pin->Source();
  if (!pin->video()) return GST_FLOW_OK;
  if (source->State() != State_Paused) return GST_FLOW_OK;
  GstSample* sample = gst_app_sink_try_pull_preroll(sink, 0);
  if (!sample) return GST_FLOW_OK;
  {
    std::lock_guard lock(source->DeliveryLock());
    if (source->Delivering() && source->State() == State_Paused) pin->Send(sample);
  }
  gst_sample_unref(sample);
  return GST_FLOW_OK;
}

void EndOfStream(GstAppSink*, gpointer data) {
  auto* pin = static_cast<StreamPin*>(data);
  FileSource* source = pin->Source();
  pin->ended = true;
  source->StreamEnded();
  std::lock_guard lock(source->DeliveryLock());
  if (source->Delivering()) pin->DeliverEndOfStream();
}

// --- FileSource ------------------------------------------------------------------------------

FileSource::~FileSource() {
  if (pipeline_) {
    // Joins the streaming threads before the pins go.
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    gst_object_unref(pipeline_);
  }
  for (StreamPin* pin : pins_) delete pin;
  if (videoSink_) gst_object_unref(videoSink_);
  if (audioSink_) gst_object_unref(audioSink_);
}

GstBusSyncReply FileSource::BusMessage(GstBus*, GstMessage* message, gpointer data) {
  auto* self = static_cast<FileSource*>(data);
  if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
    GError* error = nullptr;
    gst_message_parse_error(message, &error, nullptr);
    {
      std::lock_guard lock(self->linkLock_);
      if (self->error_.empty()) self->error_ = error ? error->message : "decoding failed";
    }
    if (error) g_error_free(error);
    // A decoding failure while playing ends playback, as DirectShow reports it.
    if (!self->errorReported_.exchange(true)) self->NotifyEvent(EC_ERRORABORT, VFW_E_UNSUPPORTED_STREAM, 0);
  }
  return GST_BUS_DROP;
}

void FileSource::PadAdded(GstElement*, GstPad* pad, gpointer data) {
  static_cast<FileSource*>(data)->LinkStream(pad);
}

// The first video and the first audio stream get a branch to an appsink;
// any further stream is taken by a fakesink so it cannot stall the others.
void FileSource::LinkStream(GstPad* pad) {
  GstCaps* caps = gst_pad_get_current_caps(pad);
  if (!caps) caps = gst_pad_query_caps(pad, nullptr);
  const char* name = caps && gst_caps_get_size(caps) ? gst_structure_get_name(gst_caps_get_structure(caps, 0)) : "";
  bool video = g_str_has_prefix(name, "video/x-raw");
  bool audio = g_str_has_prefix(name, "audio/x-raw");
  if (caps) gst_caps_unref(caps);

  std::lock_guard lock(linkLock_);
  GstElement* branch = nullptr;
  if (video && !videoSink_) {
    branch = gst_parse_bin_from_description(
        "queue max-size-buffers=3 ! videoconvert ! video/x-raw,format=BGRx ! "
        "appsink name=sink sync=true max-buffers=2 enable-last-sample=false qos=true",
        TRUE, nullptr);
    if (branch) videoSink_ = gst_bin_get_by_name(GST_BIN(branch), "sink");
  } else if (audio && !audioSink_) {
    branch = gst_parse_bin_from_description(
        "queue ! audioconvert ! audioresample ! "
        "audio/x-raw,format=S16LE,rate=44100,channels=2,layout=interleaved ! "
        "appsink name=sink sync=true max-buffers=4 enable-last-sample=false",
        TRUE, nullptr);
    if (branch) audioSink_ = gst_bin_get_by_name(GST_BIN(branch), "sink");
  } else {
    branch = gst_element_factory_make("fakesink", nullptr);
    if (branch) g_object_set(branch, "sync", TRUE, "async", FALSE, nullptr);
  }
  if (!branch) return;
  gst_bin_add(GST_BIN(pipeline_), branch);
  GstPad* sinkPad = gst_element_get_static_pad(branch, "sink");
  if (sinkPad) {
    gst_pad_link(pad, sinkPad);
    gst_object_unref(sinkPad);
  }
  gst_element_sync_state_with_parent(branch);
}

HRESULT FileSource::Load(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  if (!S_ISREG(st.st_mode)) return VFW_E_INVALID_FILE_FORMAT;
  if (!gst::Init()) return E_FAIL;

  gchar* uri = gst_filename_to_uri(path.c_str(), nullptr);
  if (!uri) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
  pipeline_ = gst_pipeline_new(nullptr);
  GstElement* decoder = gst_element_factory_make("uridecodebin", nullptr);
  if (!pipeline_ || !decoder) {
    g_free(uri);
    if (decoder) gst_object_unref(decoder);
    return E_FAIL;
  }
  g_object_set(decoder, "uri", uri, nullptr);
  g_free(uri);
  g_signal_connect(decoder, "pad-added", G_CALLBACK(&FileSource::PadAdded), this);
  gst_bin_add(GST_BIN(pipeline_), decoder);
  GstBus* bus = gst_pipeline_get_bus(GST_PIPELINE(pipeline_));
  gst_bus_set_sync_handler(bus, &FileSource::BusMessage, this, nullptr);
  gst_object_unref(bus);

  // A file counts as rendered only once the pipeline has really prerolled.
  GstStateChangeReturn ret = gst_element_set_state(pipeline_, GST_STATE_PAUSED);
  if (ret != GST_STATE_CHANGE_FAILURE) ret = gst_element_get_state(pipeline_, nullptr, nullptr, kPrerollTimeout);
  bool failed;
  {
    std::lock_guard lock(linkLock_);
    failed = ret != GST_STATE_CHANGE_SUCCESS || !error_.empty() || (!videoSink_ && !audioSink_);
  }
  if (failed) {
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    return ret == GST_STATE_CHANGE_ASYNC ? VFW_E_TIMEOUT : VFW_E_UNSUPPORTED_STREAM;
  }
  errorReported_ = false;

  gint64 duration = -1;
  if (gst_element_query_duration(pipeline_, GST_FORMAT_TIME, &duration) && duration >= 0)
    duration_ = LONGLONG(duration / 100);

  static GstAppSinkCallbacks kCallbacks = {&EndOfStream, &NewPreroll, &NewSample, nullptr, {}};
  if (videoSink_) {
    GstPad* pad = gst_element_get_static_pad(videoSink_, "sink");
    GstCaps* caps = pad ? gst_pad_get_current_caps(pad) : nullptr;
    GstVideoInfo info;
    if (caps && gst_video_info_from_caps(&info, caps)) {
      int w = GST_VIDEO_INFO_WIDTH(&info), h = GST_VIDEO_INFO_HEIGHT(&info);
      MediaType type;
      AM_MEDIA_TYPE& t = FixedSizeType(type, MEDIATYPE_Video, MEDIASUBTYPE_RGB32, FORMAT_VideoInfo,
                                       ULONG(w) * ULONG(h) * 4);
      auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(type.AllocFormat(sizeof(VIDEOINFOHEADER)));
      vih->rcSource = RECT{0, 0, w, h};
      vih->rcTarget = RECT{0, 0, w, h};
      if (GST_VIDEO_INFO_FPS_N(&info) > 0)
        vih->AvgTimePerFrame = REFERENCE_TIME(UNITS * GST_VIDEO_INFO_FPS_D(&info) / GST_VIDEO_INFO_FPS_N(&info));
      vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
      vih->bmiHeader.biWidth = w;
      vih->bmiHeader.biHeight = -h;  // top-down rows
      vih->bmiHeader.biPlanes = 1;
      vih->bmiHeader.biBitCount = 32;
      vih->bmiHeader.biCompression = BI_RGB;
      vih->bmiHeader.biSizeImage = t.lSampleSize;
      vih->dwBitRate = DWORD(std::min<int64_t>(int64_t(t.lSampleSize) * 8 * 30, 0xFFFFFFFFLL));
      gst_object_ref(videoSink_);
      auto* pin = new StreamPin(this, u"Video", true, t, videoSink_);
      pins_.push_back(pin);
      gst_app_sink_set_callbacks(GST_APP_SINK(videoSink_), &kCallbacks, pin, nullptr);
    }
    if (caps) gst_caps_unref(caps);
    if (pad) gst_object_unref(pad);
  }
  if (audioSink_) {
    MediaType type;
    AM_MEDIA_TYPE& t = FixedSizeType(type, MEDIATYPE_Audio, MEDIASUBTYPE_PCM, FORMAT_WaveFormatEx, kAudioBlock);
    auto* wfx = reinterpret_cast<WAVEFORMATEX*>(type.AllocFormat(sizeof(WAVEFORMATEX)));
    wfx->wFormatTag = WAVE_FORMAT_PCM;
    wfx->nChannels = kAudioChannels;
    wfx->nSamplesPerSec = kAudioRate;
    wfx->nAvgBytesPerSec = kAudioRate * kAudioBlock;
    wfx->nBlockAlign = kAudioBlock;
    wfx->wBitsPerSample = 16;
    gst_object_ref(audioSink_);
    auto* pin = new StreamPin(this, u"Audio", false, t, audioSink_);
    pins_.push_back(pin);
    gst_app_sink_set_callbacks(GST_APP_SINK(audioSink_), &kCallbacks, pin, nullptr);
  }
  if (pins_.empty()) {
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    return VFW_E_UNSUPPORTED_STREAM;
  }
  return S_OK;
}

HRESULT FileSource::SetPipelineState(GstState state) {
  if (!pipeline_) return E_UNEXPECTED;
  return gst_element_set_state(pipeline_, state) == GST_STATE_CHANGE_FAILURE ? E_FAIL : S_OK;
}

HRESULT FileSource::OnStop() {
  {
    // Waits for a delivery in progress; none starts after this.
    std::lock_guard lock(deliveryLock_);
    delivering_ = false;
  }
  return SetPipelineState(GST_STATE_PAUSED);
}

HRESULT FileSource::OnPause() {
  delivering_ = true;
  return SetPipelineState(GST_STATE_PAUSED);
}

HRESULT FileSource::OnRun(REFERENCE_TIME) { return SetPipelineState(GST_STATE_PLAYING); }

void FileSource::StreamEnded() {
  std::lock_guard lock(positionLock_);
  for (StreamPin* pin : pins_)
    if (!pin->ended) return;
  lastPosition_ = stop_ >= 0 ? stop_ : duration_;
}

HRESULT FileSource::GetCurrentPosition(LONGLONG* current) {
  if (!current) return E_POINTER;
  bool ended = true;
  for (StreamPin* pin : pins_) ended = ended && pin->ended;
  std::lock_guard lock(positionLock_);
  // At the end, the position is where playback stops.
  if (ended) {
    *current = stop_ >= 0 ? stop_ : (duration_ >= 0 ? duration_ : lastPosition_);
    return S_OK;
  }
  gint64 position = -1;
  if (gst_element_query_position(pipeline_, GST_FORMAT_TIME, &position) && position >= 0)
    lastPosition_ = LONGLONG(position / 100);
  // Right after a seek the pipeline may not know the position yet: the last
  // one known (the seek target) stands.
  *current = lastPosition_;
  return S_OK;
}

HRESULT FileSource::Seek(double rate, LONGLONG start, GstSeekType startType, LONGLONG stop, GstSeekType stopType) {
  // As in DirectShow: renderers flush (dropping what they hold and an end of
  // stream they saw), the pipeline seeks with a flush of its own, and the
  // renderers take samples again.
  for (StreamPin* pin : pins_)
    if (pin->IsConnected()) pin->DeliverBeginFlush();
  for (StreamPin* pin : pins_) pin->ended = false;
  gboolean ok = gst_element_seek(pipeline_, rate, GST_FORMAT_TIME,
                                 GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE), startType,
                                 startType == GST_SEEK_TYPE_NONE ? 0 : start * 100, stopType,
                                 stopType == GST_SEEK_TYPE_NONE ? 0 : stop * 100);
  for (StreamPin* pin : pins_)
    if (pin->IsConnected()) pin->DeliverEndFlush();
  if (!ok) return E_FAIL;
  // The seek is done when the pipeline has prerolled at the new position.
  gst_element_get_state(pipeline_, nullptr, nullptr, kSeekTimeout);
  return S_OK;
}

HRESULT FileSource::SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags) {
  DWORD how = currentFlags & AM_SEEKING_PositioningBitsMask;
  DWORD stopHow = stopFlags & AM_SEEKING_PositioningBitsMask;
  if ((how != AM_SEEKING_NoPositioning && !current) || (stopHow != AM_SEEKING_NoPositioning && !stop))
    return E_POINTER;
  if (how == AM_SEEKING_IncrementalPositioning) return E_INVALIDARG;
  std::lock_guard lock(filterLock_);
  if (!pipeline_) return E_UNEXPECTED;
  LONGLONG now = 0;
  GetCurrentPosition(&now);
  LONGLONG target = now, end = -1;
  double rate;
  {
    std::lock_guard plock(positionLock_);
    if (how == AM_SEEKING_AbsolutePositioning) target = *current;
    else if (how == AM_SEEKING_RelativePositioning) target = now + *current;
    if (stopHow == AM_SEEKING_AbsolutePositioning) end = *stop;
    else if (stopHow == AM_SEEKING_RelativePositioning) end = (stop_ >= 0 ? stop_ : duration_) + *stop;
    else end = stop_;
    if (target < 0) target = 0;
    if (duration_ >= 0 && target > duration_) target = duration_;
    rate = rate_;
  }
  if (how == AM_SEEKING_NoPositioning && stopHow == AM_SEEKING_NoPositioning) return S_OK;
  HRESULT hr = Seek(rate, target, GST_SEEK_TYPE_SET, end, end >= 0 ? GST_SEEK_TYPE_SET : GST_SEEK_TYPE_NONE);
  if (FAILED(hr)) return hr;
  {
    std::lock_guard plock(positionLock_);
    stop_ = end;
    lastPosition_ = target;
  }
  if (currentFlags & AM_SEEKING_ReturnTime) *current = target;
  if ((stopFlags & AM_SEEKING_ReturnTime) && stop) *stop = end >= 0 ? end : duration_;
  return S_OK;
}

HRESULT FileSource::SetRate(double rate) {
  if (rate <= 0) return E_INVALIDARG;
  std::lock_guard lock(filterLock_);
  if (!pipeline_) return E_UNEXPECTED;
  LONGLONG now = 0, end;
  GetCurrentPosition(&now);
  {
    std::lock_guard plock(positionLock_);
    end = stop_;
  }
  HRESULT hr = Seek(rate, now, GST_SEEK_TYPE_SET, end, end >= 0 ? GST_SEEK_TYPE_SET : GST_SEEK_TYPE_NONE);
  if (SUCCEEDED(hr)) {
    std::lock_guard plock(positionLock_);
    rate_ = rate;
  }
  return hr;
}

}  // namespace

HRESULT CreateFileSource(LPCWSTR file, IBaseFilter** filter) {
  if (!file || !filter) return E_POINTER;
  *filter = nullptr;
  auto* source = new FileSource;
  HRESULT hr = source->Load(HostPath(View(file)));
  if (FAILED(hr)) {
    source->Release();
    return hr;
  }
  *filter = source;
  return S_OK;
}

}  // namespace orlik::dshow
