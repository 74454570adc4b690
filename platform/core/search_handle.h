// A search in progress behind a handle (files, devices): FindClose ends any.
#pragma once

#include "core/handles.h"

namespace orlik {

class SearchHandle : public KernelObject {};

}  // namespace orlik
