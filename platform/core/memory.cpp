#include "core/memory.h"

#include <orlik/kernel.h>

#include "board/board.h"

#include <sys/mman.h>

#include <mutex>
#include <vector>

namespace orlik {
namespace {

struct Reservation {
  uintptr_t start;
  size_t size;
};

std::mutex& ReservationLock() {
  static auto* m = new std::mutex;
  return *m;
}

std::vector<Reservation>& Reservations() {
  static auto* r = new std::vector<Reservation>;
  return *r;
}

size_t PageRound(size_t size) {
  size_t page = 4096;
  return (size + page - 1) / page * page;
}

}  // namespace

bool IsReserved(const void* address, size_t size) {
  auto a = reinterpret_cast<uintptr_t>(address);
  std::lock_guard lock(ReservationLock());
  for (auto& r : Reservations())
    if (a >= r.start && a + size <= r.start + r.size) return true;
  return false;
}

}  // namespace orlik

extern "C" {

LPVOID VirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD protect) {
  using namespace orlik;
  if (size == 0 || !(type & (MEM_RESERVE | MEM_COMMIT))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  size_t length = PageRound(size);
  if (type & MEM_RESERVE) {
    // The register-window driver's clients reserve their windows this way; a
    // board fault can make the reservation fail.
    if (address == nullptr && protect == PAGE_NOACCESS && !(type & MEM_COMMIT) &&
        board::Board::Get().Fails("HTM1:", 2)) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    int prot = (type & MEM_COMMIT) && (protect & (PAGE_READWRITE | PAGE_READONLY))
                   ? (PROT_READ | ((protect & PAGE_READWRITE) ? PROT_WRITE : 0))
                   : PROT_NONE;
    void* p = mmap(address, length, prot, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (p == MAP_FAILED) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    std::lock_guard lock(ReservationLock());
    Reservations().push_back({reinterpret_cast<uintptr_t>(p), length});
    return p;
  }
  // Commit inside an existing reservation.
  if (!address || !IsReserved(address, size)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto a = reinterpret_cast<uintptr_t>(address) & ~uintptr_t(4095);
  int prot = PROT_READ | ((protect & PAGE_READWRITE) ? PROT_WRITE : 0);
  if (mprotect(reinterpret_cast<void*>(a), PageRound(size + (reinterpret_cast<uintptr_t>(address) - a)),
               prot) != 0) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return address;
}

BOOL VirtualFree(LPVOID address, SIZE_T size, DWORD type) {
  using namespace orlik;
  if (!(type & MEM_RELEASE) || size != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Reservation found{0, 0};
  {
    std::lock_guard lock(ReservationLock());
    auto& all = Reservations();
    for (size_t i = 0; i < all.size(); ++i) {
      if (all[i].start == reinterpret_cast<uintptr_t>(address)) {
        found = all[i];
        all.erase(all.begin() + long(i));
        break;
      }
    }
  }
  if (!found.start) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  RemoveRegisterWindows(address, found.size);
  munmap(address, found.size);
  return TRUE;
}

}  // extern "C"
