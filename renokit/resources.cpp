// The library's resources: the updater program, byte for byte, as "BIN" 122.
// The build assembles the program file into the library (embedded_renovo.cpp,
// generated) between renovo_program and renovo_program_end.
#include <orlik/module.h>

extern "C" const unsigned char renovo_program[];
extern "C" const unsigned char renovo_program_end[];

namespace renokit {
namespace {

const ORLIK_RESOURCE kResources[] = {
    {u"BIN", MAKEINTRESOURCE(122), renovo_program, 0},
};

struct ResourceRegistration {
  ORLIK_RESOURCE table[1];
  ResourceRegistration() {
    table[0] = kResources[0];
    table[0].size = DWORD(renovo_program_end - renovo_program);
    orlik_register_resources(this, table, 1);
  }
  ~ResourceRegistration() { orlik_unregister_resources(this); }
};

ResourceRegistration registration;

}  // namespace
}  // namespace renokit
