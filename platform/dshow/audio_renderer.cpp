// The audio renderer (CLSID_DSoundRender, also created as CLSID_AudioRender):
// one input pin "Audio Input pin (rendered)" taking 16-bit PCM, one or two
// channels at any rate, written to a stream of the panel's sound output.
// IBasicAudio sets the stream's own volume and balance, on top of which the
// output applies the device's wave-output volume.
//
// Timing: the stream plays in real time and its writes block while it is
// more than a little ahead, so Receive blocks while the renderer is paused
// with a full queue, as a renderer holding its data does. At the end of the
// stream the renderer waits until what it queued has played, then reports
// EC_COMPLETE. Stop and flushing release a blocked Receive or end of stream.
#include <orlik/dshow.h>

#include "board/sound_output.h"
#include "com/dispatch.h"
#include "com/registry.h"
#include "strmbase/strmbase.h"

#include <atomic>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>

namespace orlik::dshow {
namespace {

using board::PcmFormat;
using board::SoundOutput;
using board::SoundStream;
using strmbase::BaseRenderer;

// Hundredths of a decibel to a linear gain; -10000 (-100 dB) is silence.
double Gain(LONG centiBels) { return centiBels <= -10000 ? 0.0 : std::pow(10.0, double(centiBels) / 2000.0); }

bool FormatOf(const AM_MEDIA_TYPE& type, PcmFormat* format) {
  // A PCM format block without cbSize (16 bytes) is as good as a whole one.
  if (type.majortype != MEDIATYPE_Audio || type.subtype != MEDIASUBTYPE_PCM ||
      type.formattype != FORMAT_WaveFormatEx || !type.pbFormat || type.cbFormat < 16)
    return false;
  WAVEFORMATEX wave{};
  std::memcpy(&wave, type.pbFormat, std::min<size_t>(type.cbFormat, sizeof wave));
  PcmFormat f{int(wave.nSamplesPerSec), int(wave.nChannels)};
  if (wave.wFormatTag != WAVE_FORMAT_PCM || wave.wBitsPerSample != 16 || !board::IsPlayable(f) ||
      wave.nBlockAlign != 2 * wave.nChannels)
    return false;
  *format = f;
  return true;
}

class AudioRenderer final : public BaseRenderer, public com::NoTypeInfo<IBasicAudio> {
 public:
  explicit AudioRenderer(const CLSID& clsid) : BaseRenderer(clsid, u"Audio Input pin (rendered)") {}

  HRESULT WINAPI QueryInterface(REFIID iid, void** object) override { return BaseRenderer::QueryInterface(iid, object); }
  ULONG WINAPI AddRef() override { return BaseRenderer::AddRef(); }
  ULONG WINAPI Release() override { return BaseRenderer::Release(); }

  // IBasicAudio: volume -10000 (silence) to 0 dB, balance -10000 (left only)
  // to 10000 (right only), in hundredths of a decibel.
  HRESULT WINAPI put_Volume(LONG volume) override { return PutLevel(volume_, volume, 0); }
  HRESULT WINAPI get_Volume(LONG* volume) override { return GetLevel(volume_, volume); }
  HRESULT WINAPI put_Balance(LONG balance) override { return PutLevel(balance_, balance, 10000); }
  HRESULT WINAPI get_Balance(LONG* balance) override { return GetLevel(balance_, balance); }

  // The renderer
  HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override {
    PcmFormat format;
    return type && FormatOf(*type, &format) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
  }

  HRESULT SetMediaType(const AM_MEDIA_TYPE* type) override {
    PcmFormat format;
    if (!type || !FormatOf(*type, &format)) return VFW_E_TYPE_NOT_ACCEPTED;
    std::lock_guard lock(streamMutex_);
    format_ = format;
    return S_OK;
  }

  HRESULT DoRenderSample(IMediaSample* sample) override {
    std::shared_ptr<SoundStream> stream = Stream();
    if (!stream) return VFW_E_WRONG_STATE;
    strmbase::MediaType changed;
    if (strmbase::ChangedType(sample, &changed)) {
      PcmFormat format;
      if (!FormatOf(*changed.get(), &format)) return VFW_E_TYPE_NOT_ACCEPTED;
      stream->SetFormat(format);
      std::lock_guard lock(streamMutex_);
      format_ = format;
    }
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || !data) return E_POINTER;
    LONG length = sample->GetActualDataLength();
    if (length <= 0) return S_OK;
    // False: a flush or stop dropped the sound, which is what they ask for.
    stream->Write(data, size_t(length));
    return S_OK;
  }

  // The stream ended: what is queued plays out before EC_COMPLETE.
  void OnEndOfStream() override {
    if (std::shared_ptr<SoundStream> stream = Stream()) stream->Drain();
  }

  void OnFlush() override {
    if (std::shared_ptr<SoundStream> stream = Stream()) stream->Flush();
  }

 protected:
  HRESULT QueryFilterInterface(REFIID iid, void** object) override {
    if (strmbase::Offer(static_cast<IBasicAudio*>(this), iid, object, IID_IBasicAudio, IID_IDispatch)) return S_OK;
    return BaseRenderer::QueryFilterInterface(iid, object);
  }

  HRESULT OnPause() override {
    std::shared_ptr<SoundStream> stream = Stream();
    if (!stream) {
      PcmFormat format;
      {
        std::lock_guard lock(streamMutex_);
        format = format_;
      }
      stream = std::shared_ptr<SoundStream>(SoundOutput::Get().Open(format));
      if (!stream) return VFW_E_NO_AUDIO_HARDWARE;
      stream->SetPaused(true);
      std::lock_guard lock(streamMutex_);
      stream_ = stream;
    }
    stream->SetPaused(true);
    ApplyGain();
    return BaseRenderer::OnPause();
  }

  HRESULT OnRun(REFERENCE_TIME start) override {
    if (std::shared_ptr<SoundStream> stream = Stream()) stream->SetPaused(false);
    return BaseRenderer::OnRun(start);
  }

  HRESULT OnStop() override {
    std::shared_ptr<SoundStream> stream;
    {
      std::lock_guard lock(streamMutex_);
      stream.swap(stream_);
    }
    // Releases a Receive or end of stream waiting on the stream; the stream
    // leaves the output when its last user lets go.
    if (stream) stream->Abort();
    return BaseRenderer::OnStop();
  }

 private:
  std::shared_ptr<SoundStream> Stream() {
    std::lock_guard lock(streamMutex_);
    return stream_;
  }

  // Volume attenuates both channels; a positive balance attenuates the left
  // channel by that many hundredths of a decibel, a negative one the right.
  HRESULT PutLevel(std::atomic<LONG>& level, LONG value, LONG highest) {
    if (value < -10000 || value > highest) return E_INVALIDARG;
    level = value;
    ApplyGain();
    return S_OK;
  }
  static HRESULT GetLevel(const std::atomic<LONG>& level, LONG* value) {
    if (!value) return E_POINTER;
    *value = level;
    return S_OK;
  }

  void ApplyGain() {
    std::shared_ptr<SoundStream> stream = Stream();
    if (!stream) return;
    LONG balance = balance_;
    double gain = Gain(volume_);
    stream->SetGain(gain * Gain(balance > 0 ? -balance : 0), gain * Gain(balance < 0 ? balance : 0));
  }

  std::mutex streamMutex_;
  std::shared_ptr<SoundStream> stream_;  // while paused or running
  PcmFormat format_;
  std::atomic<LONG> volume_{0};
  std::atomic<LONG> balance_{0};
};

const com::ClassRegistrar kDSoundRender(CLSID_DSoundRender, &com::Construct<AudioRenderer, CLSID_DSoundRender>);
const com::ClassRegistrar kAudioRender(CLSID_AudioRender, &com::Construct<AudioRenderer, CLSID_AudioRender>);

}  // namespace
}  // namespace orlik::dshow
