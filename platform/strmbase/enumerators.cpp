#include "enumerators.h"

#include "com/registry.h"

namespace orlik::strmbase {
namespace {

// Holds its filter (through the pin or filter reference) so the items it
// hands out stay valid. A change of the filter's pins after the enumerator
// was made reports VFW_E_ENUM_OUT_OF_SYNC until Reset.
class PinEnumerator final : public com::UnknownImpl<IEnumPins, IID_IEnumPins> {
 public:
  PinEnumerator(BaseFilter* filter, int position)
      : filter_(filter), position_(position), version_(filter->PinVersion()) {
    filter_->AddRef();
  }

  HRESULT WINAPI Next(ULONG count, IPin** pins, ULONG* fetched) override {
    if (!pins) return E_POINTER;
    if (count > 1 && !fetched) return E_INVALIDARG;
    if (version_ != filter_->PinVersion()) return VFW_E_ENUM_OUT_OF_SYNC;
    ULONG n = 0;
    while (n < count && position_ < filter_->PinCount()) {
      BasePin* pin = filter_->PinAt(position_++);
      pin->AddRef();
      pins[n++] = pin;
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT WINAPI Skip(ULONG count) override {
    if (version_ != filter_->PinVersion()) return VFW_E_ENUM_OUT_OF_SYNC;
    int total = filter_->PinCount();
    if (position_ + int64_t{count} > total) {
      position_ = total;
      return S_FALSE;
    }
    position_ += int(count);
    return S_OK;
  }
  HRESULT WINAPI Reset() override {
    position_ = 0;
    version_ = filter_->PinVersion();
    return S_OK;
  }
  HRESULT WINAPI Clone(IEnumPins** copy) override {
    if (!copy) return E_POINTER;
    auto* e = new PinEnumerator(filter_, position_);
    e->version_ = version_;
    *copy = e;
    return S_OK;
  }

 private:
  ~PinEnumerator() override { filter_->Release(); }
  BaseFilter* filter_;
  int position_;
  int version_;
};

class MediaTypeEnumerator final : public com::UnknownImpl<IEnumMediaTypes, IID_IEnumMediaTypes> {
 public:
  MediaTypeEnumerator(BasePin* pin, int position) : pin_(pin), position_(position) { pin_->AddRef(); }

  HRESULT WINAPI Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override {
    if (!types) return E_POINTER;
    if (count > 1 && !fetched) return E_INVALIDARG;
    ULONG n = 0;
    while (n < count) {
      MediaType type;
      HRESULT hr = pin_->GetMediaType(position_, type.get());
      if (hr != S_OK) break;
      AM_MEDIA_TYPE* out = CreateMediaType(type.get());
      if (!out) break;
      types[n++] = out;
      ++position_;
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT WINAPI Skip(ULONG count) override {
    for (ULONG i = 0; i < count; ++i) {
      MediaType type;
      if (pin_->GetMediaType(position_, type.get()) != S_OK) return S_FALSE;
      ++position_;
    }
    return S_OK;
  }
  HRESULT WINAPI Reset() override {
    position_ = 0;
    return S_OK;
  }
  HRESULT WINAPI Clone(IEnumMediaTypes** copy) override {
    if (!copy) return E_POINTER;
    *copy = new MediaTypeEnumerator(pin_, position_);
    return S_OK;
  }

 private:
  ~MediaTypeEnumerator() override { pin_->Release(); }
  BasePin* pin_;
  int position_;
};

}  // namespace

IEnumPins* NewPinEnumerator(BaseFilter* filter, int position) {
  return new PinEnumerator(filter, position);
}

IEnumMediaTypes* NewMediaTypeEnumerator(BasePin* pin, int position) {
  return new MediaTypeEnumerator(pin, position);
}

}  // namespace orlik::strmbase
