// Port change watch. Nothing starts a watch yet, so there is nothing to stop.
#include "frame.h"

namespace ferrox {

void PortBank::StopWatches() {}

}  // namespace ferrox
