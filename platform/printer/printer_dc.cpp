// Printer device contexts on the PCL inkjet driver "pcl.dll".
//
// The page is a white Cairo surface at the printer's resolution; drawing on
// the DC lands on it. Each finished page is rendered to PCL raster into the
// job's spool buffer, and EndDoc sends the whole job to the port, as a
// spooler does.
#include <orlik/kernel.h>
#include <orlik/printer.h>
#include <orlik/text.h>

#include "core/paths.h"
#include "gdi/dc.h"
#include "printer/pcl_writer.h"
#include "printer/port.h"

#include <cstdio>
#include <cstring>
#include <atomic>
#include <mutex>
#include <set>
#include <string>

static_assert(sizeof(DEVMODEW) == 192, "DEVMODEW keeps the panel's layout");

namespace orlik::printer {
namespace {

struct PaperSize {
  short dmPaper;
  int width, height;  // high-quality pixels, portrait
  double inchesWide, inchesHigh;  // the sheet
};
constexpr PaperSize kPapers[] = {
    {DMPAPER_A4, 2330, 3283, 8.27, 11.69},
    {DMPAPER_B5, 2000, 2812, 7.17, 10.12},
    {DMPAPER_LETTER, 2400, 3076, 8.5, 11.0},
    {DMPAPER_LEGAL, 2400, 3977, 8.5, 14.0},
};
constexpr int kHighDpi = 300;
constexpr int kDraftDpi = 150;

std::mutex& JobsMutex() {
  static auto* m = new std::mutex;
  return *m;
}
// The jobs alive, to tell a printer DC from other DCs that carry an owner.
std::set<const void*>& LiveJobs() {
  static auto* jobs = new std::set<const void*>;
  return *jobs;
}
int lastJobId = 0;

// One printer DC's job: settings, the page surface and the spooled output.
struct PrintJob {
  std::mutex mutex;  // EndPage/EndDoc may run on a thread of their own
  std::u16string port;
  std::u16string output;  // DOCINFO's output file, when given
  PageFormat format;
  int width = 0, height = 0;
  int paperWidth = 0, paperHeight = 0;  // the sheet at the page's resolution
  cairo_surface_t* page = nullptr;
  bool docOpen = false;
  bool pageOpen = false;
  // Set when the DC is deleted: the job is dropped and takes no more calls.
  // Not under the mutex, so deleting a DC (under the GDI lock) never waits
  // for a page being rendered (which takes the GDI lock).
  std::atomic<bool> released{false};
  std::string spool;
  int jobId = 0;

  PrintJob() {
    std::lock_guard lock(JobsMutex());
    LiveJobs().insert(this);
  }
  ~PrintJob() {
    {
      std::lock_guard lock(JobsMutex());
      LiveJobs().erase(this);
    }
    if (page) cairo_surface_destroy(page);
  }

  void ClearPage() {
    cairo_t* cr = cairo_create(page);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_destroy(cr);
  }

  // Renders the open page into the spool buffer.
  void RenderPage() {
    {
      std::lock_guard gdiLock(gdi::Lock());
      cairo_surface_flush(page);
    }
    PclJobWriter writer(&spool);
    writer.Page(format, cairo_image_surface_get_data(page), width, height,
                cairo_image_surface_get_stride(page));
    pageOpen = false;
  }
};

// The job of a printer DC; null, with ERROR_INVALID_HANDLE, for any other DC.
std::shared_ptr<PrintJob> JobOf(HDC handle) {
  std::shared_ptr<PrintJob> job;
  auto dc = gdi::LookupDC(handle);
  if (dc && dc->owner) {
    std::lock_guard lock(JobsMutex());
    if (LiveJobs().count(dc->owner.get())) job = std::static_pointer_cast<PrintJob>(dc->owner);
  }
  if (job && !job->released) return job;
  SetLastError(ERROR_INVALID_HANDLE);
  return nullptr;
}

// A call made in the wrong state of the job: SP_ERROR, ERROR_INVALID_PARAMETER.
int Refused() {
  SetLastError(ERROR_INVALID_PARAMETER);
  return SP_ERROR;
}

// Runs `call` on the DC's job, under the job's lock, when a document is open;
// refuses it otherwise.
template <class Call>
int OnOpenDocument(HDC dc, Call call) {
  auto job = JobOf(dc);
  if (!job) return SP_ERROR;
  std::lock_guard lock(job->mutex);
  return job->docOpen ? call(*job) : Refused();
}

bool IsPclDriver(std::u16string_view driver) {
  return orlik_wcsicmp(std::u16string(driver).c_str(), u"pcl.dll") == 0 ||
         orlik_wcsicmp(std::u16string(driver).c_str(), u"pcl") == 0;
}

bool SendToOutputFile(const std::u16string& output, const std::string& job, std::string* error) {
  std::string path = HostPath(output);
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    *error = path + ": cannot create";
    return false;
  }
  bool ok = std::fwrite(job.data(), 1, job.size(), f) == job.size();
  ok = std::fclose(f) == 0 && ok;
  if (!ok) *error = path + ": write failed";
  return ok;
}

}  // namespace
}  // namespace orlik::printer

using namespace orlik;
using namespace orlik::printer;

extern "C" {

HDC CreateDCW(LPCWSTR driver, LPCWSTR, LPCWSTR port, const DEVMODEW* settings) {
  if (!driver || !IsPclDriver(View(driver))) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::u16string portName = port ? std::u16string(View(port)) : u"LPT1:";
  if (PortTarget(portName).empty()) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto job = std::make_shared<PrintJob>();
  job->port = portName;

  short paper = DMPAPER_A4, orientation = DMORIENT_PORTRAIT, quality = DMRES_DRAFT,
        color = DMCOLOR_COLOR;
  if (settings && settings->dmSize >= offsetof(DEVMODEW, dmDuplex)) {
    if (settings->dmPaperSize) paper = settings->dmPaperSize;
    if (settings->dmOrientation) orientation = settings->dmOrientation;
    if (settings->dmPrintQuality) quality = settings->dmPrintQuality;
    if (settings->dmColor) color = settings->dmColor;
  }
  PaperSize size = kPapers[0];
  for (const auto& p : kPapers)
    if (p.dmPaper == paper) size = p;
  const bool high = quality == DMRES_HIGH || quality >= kHighDpi;
  int w = high ? size.width : size.width / 2;
  int h = high ? size.height : size.height / 2;
  job->format.paperCode = PclPaperCode(size.dmPaper);
  job->format.landscape = orientation == DMORIENT_LANDSCAPE;
  job->format.dpi = high ? kHighDpi : kDraftDpi;
  job->format.colour = color != DMCOLOR_MONOCHROME;
  job->width = job->format.landscape ? h : w;
  job->height = job->format.landscape ? w : h;
  // The sheet itself, for PHYSICALWIDTH/HEIGHT: the printable page sits in it.
  int sheetW = static_cast<int>(size.inchesWide * job->format.dpi);
  int sheetH = static_cast<int>(size.inchesHigh * job->format.dpi);
  job->paperWidth = job->format.landscape ? sheetH : sheetW;
  job->paperHeight = job->format.landscape ? sheetW : sheetH;

  job->page = cairo_image_surface_create(CAIRO_FORMAT_RGB24, job->width, job->height);
  if (cairo_surface_status(job->page) != CAIRO_STATUS_SUCCESS) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  job->ClearPage();

  std::lock_guard gdiLock(gdi::Lock());
  HDC handle = gdi::CreateSurfaceDC(job->page, 0, 0, job->width, job->height);
  auto dc = gdi::LookupDC(handle);
  dc->dpi = job->format.dpi;
  dc->bitsPixel = job->format.colour ? 24 : 1;
  dc->owner = job;
  std::weak_ptr<PrintJob> weak = job;
  dc->deviceCaps = [weak](int index) -> int {
    auto j = weak.lock();
    if (!j) return -1;
    switch (index) {
      case PHYSICALWIDTH: return j->paperWidth;
      case PHYSICALHEIGHT: return j->paperHeight;
      case PHYSICALOFFSETX: return (j->paperWidth - j->width) / 2;
      case PHYSICALOFFSETY: return (j->paperHeight - j->height) / 2;
      default: return -1;
    }
  };
  // Deleting the DC drops a document still open, like AbortDoc.
  dc->onRelease = [weak] {
    if (auto j = weak.lock()) j->released = true;
  };
  return handle;
}

int StartDocW(HDC dc, const DOCINFOW* info) {
  auto job = JobOf(dc);
  if (!job) return SP_ERROR;
  std::lock_guard lock(job->mutex);
  if (job->docOpen) return Refused();
  job->output = info && info->lpszOutput ? std::u16string(View(info->lpszOutput)) : u"";
  job->spool.clear();
  PclJobWriter(&job->spool).BeginJob();
  job->docOpen = true;
  job->pageOpen = false;
  std::lock_guard jobs(JobsMutex());
  job->jobId = ++lastJobId;
  return job->jobId;
}

int StartPage(HDC dc) {
  return OnOpenDocument(dc, [](PrintJob& job) {
    if (job.pageOpen) job.RenderPage();
    {
      std::lock_guard gdiLock(gdi::Lock());
      job.ClearPage();
    }
    job.pageOpen = true;
    return 1;
  });
}

int EndPage(HDC dc) {
  return OnOpenDocument(dc, [](PrintJob& job) {
    if (!job.pageOpen) return Refused();
    job.RenderPage();
    return 1;
  });
}

int EndDoc(HDC dc) {
  return OnOpenDocument(dc, [](PrintJob& job) {
    if (job.pageOpen) job.RenderPage();
    PclJobWriter(&job.spool).EndJob();
    job.docOpen = false;
    std::string error;
    bool sent = job.output.empty() ? SendJob(job.port, job.spool, &error)
                                   : SendToOutputFile(job.output, job.spool, &error);
    job.spool.clear();
    job.spool.shrink_to_fit();
    if (!sent) {
      std::fprintf(stderr, "pcl.dll: job %d not printed: %s\n", job.jobId, error.c_str());
      SetLastError(ERROR_WRITE_FAULT);
      return SP_ERROR;
    }
    return job.jobId;
  });
}

int AbortDoc(HDC dc) {
  auto job = JobOf(dc);
  if (!job) return SP_ERROR;
  std::lock_guard lock(job->mutex);
  if (!job->docOpen) return SP_ERROR;
  job->docOpen = job->pageOpen = false;
  job->spool.clear();
  return 1;
}

}  // extern "C"
