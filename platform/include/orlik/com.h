// The platform's COM runtime (same as <orlik/objbase.h>).
#pragma once

#include <orlik/objbase.h>
