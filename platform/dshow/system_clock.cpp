// The system reference clock (CLSID_SystemClock): the steady clock in
// 100-nanosecond units, with one-shot and periodic advise requests that set
// an event when their time comes. A graph whose filters offer no clock of
// their own runs on it.
#include <orlik/dshow.h>
#include <orlik/sync.h>

#include "com/registry.h"

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

namespace orlik::dshow {
namespace {

REFERENCE_TIME Now() {
  using namespace std::chrono;
  return duration_cast<nanoseconds>(steady_clock::now().time_since_epoch()).count() / 100;
}

class SystemClock final : public com::UnknownImpl<IReferenceClock, IID_IReferenceClock> {
 public:
  SystemClock() = default;

  HRESULT WINAPI GetTime(REFERENCE_TIME* time) override {
    if (!time) return E_POINTER;
    // The clock never runs backwards, also across calls from several threads.
    std::lock_guard lock(mutex_);
    REFERENCE_TIME now = Now();
    if (now <= last_) now = last_ + 1;
    last_ = now;
    *time = now;
    return S_OK;
  }

  // The event is set once the clock reaches baseTime + streamTime.
  HRESULT WINAPI AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime, HEVENT event,
                            DWORD_PTR* cookie) override {
    if (!cookie) return E_POINTER;
    if (!event) return E_INVALIDARG;
    if (baseTime < 0 || streamTime < 0 || baseTime > INT64_MAX - streamTime) return E_INVALIDARG;
    return Add(Advise{baseTime + streamTime, 0, event}, cookie);
  }

  // The handle is set (this platform's semaphores are events) at startTime
  // and every periodTime after it, until Unadvise.
  HRESULT WINAPI AdvisePeriodic(REFERENCE_TIME startTime, REFERENCE_TIME periodTime, HSEMAPHORE semaphore,
                                DWORD_PTR* cookie) override {
    if (!cookie) return E_POINTER;
    if (!semaphore || startTime < 0 || periodTime <= 0) return E_INVALIDARG;
    return Add(Advise{startTime, periodTime, semaphore}, cookie);
  }

  HRESULT WINAPI Unadvise(DWORD_PTR cookie) override {
    std::lock_guard lock(mutex_);
    return advises_.erase(cookie) ? S_OK : S_FALSE;
  }

 private:
  struct Advise {
    REFERENCE_TIME due;
    REFERENCE_TIME period;  // 0: once
    HANDLE event;
  };

  ~SystemClock() override {
    {
      std::lock_guard lock(mutex_);
      quit_ = true;
      changed_.notify_all();
    }
    if (worker_.joinable()) worker_.join();
  }

  HRESULT Add(const Advise& advise, DWORD_PTR* cookie) {
    std::lock_guard lock(mutex_);
    *cookie = ++nextCookie_;
    advises_[*cookie] = advise;
    if (!worker_.joinable()) worker_ = std::thread([this] { Work(); });
    changed_.notify_all();
    return S_OK;
  }

  void Work() {
    std::unique_lock lock(mutex_);
    while (!quit_) {
      REFERENCE_TIME now = Now();
      REFERENCE_TIME next = INT64_MAX;
      for (auto it = advises_.begin(); it != advises_.end();) {
        Advise& a = it->second;
        if (a.due <= now) {
          SetEvent(a.event);
          if (a.period == 0) {
            it = advises_.erase(it);
            continue;
          }
          while (a.due <= now) a.due += a.period;
        }
        next = std::min(next, a.due);
        ++it;
      }
      if (next == INT64_MAX) changed_.wait(lock);
      else changed_.wait_for(lock, std::chrono::nanoseconds((next - now) * 100));
    }
  }

  std::mutex mutex_;
  std::condition_variable changed_;
  std::map<DWORD_PTR, Advise> advises_;
  DWORD_PTR nextCookie_ = 0;
  REFERENCE_TIME last_ = 0;
  bool quit_ = false;
  std::thread worker_;
};

const com::ClassRegistrar kSystemClock(CLSID_SystemClock, &com::Construct<SystemClock>);

}  // namespace
}  // namespace orlik::dshow
