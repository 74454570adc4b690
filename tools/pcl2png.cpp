// pcl2png PRINTOUT [PREFIX]: turns a printout captured from the printer port
// into one PNG per page (PREFIX-J-P.png, job and page numbered from 1).
#include "pclread/pcl_reader.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: %s PRINTOUT [PREFIX]\n", argv[0]);
    return 2;
  }
  std::string prefix = argc == 3 ? argv[2] : "page";
  pclread::Printout printout = pclread::ReadFile(argv[1]);
  int written = 0;
  for (size_t j = 0; j < printout.jobs.size(); ++j) {
    for (size_t p = 0; p < printout.jobs[j].pages.size(); ++p) {
      const pclread::Page& page = printout.jobs[j].pages[p];
      std::string name = prefix + "-" + std::to_string(j + 1) + "-" + std::to_string(p + 1) + ".png";
      if (!pclread::WritePng(page, name)) {
        std::fprintf(stderr, "%s: cannot write %s\n", argv[0], name.c_str());
        return 1;
      }
      std::printf("%s: %dx%d at %d dpi, %s, %s\n", name.c_str(), page.width, page.height, page.dpi,
                  page.colour ? "colour" : "black", page.landscape ? "landscape" : "portrait");
      ++written;
    }
  }
  if (!printout.error.empty()) {
    std::fprintf(stderr, "%s: %s\n", argv[0], printout.error.c_str());
    return 1;
  }
  if (written == 0) std::fprintf(stderr, "%s: no pages\n", argv[0]);
  return written ? 0 : 1;
}
