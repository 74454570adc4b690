// The parallel printer port "LPT1". By default it is the file "LPT1.prn" in
// the device root folder, to which each job is appended as a printer would
// receive it. ORLIK_LPT1 redirects it: a path (a printer device such as
// /dev/usb/lp0, or a file) or "|command", a spool command that gets the job
// on its standard input.
#pragma once

#include <string>
#include <string_view>

namespace orlik::printer {

// Where the port's output goes, for messages and tests.
std::string PortTarget(std::u16string_view port);

// Sends one whole job. False (with the reason in *error) when the port could
// not be opened, a write failed, or the spool command failed.
bool SendJob(std::u16string_view port, std::string_view job, std::string* error);

}  // namespace orlik::printer
