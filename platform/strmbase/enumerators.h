// Enumerators over a filter's pins and a pin's preferred media types.
#pragma once

#include "strmbase.h"

namespace orlik::strmbase {

IEnumPins* NewPinEnumerator(BaseFilter* filter, int position = 0);
IEnumMediaTypes* NewMediaTypeEnumerator(BasePin* pin, int position = 0);

}  // namespace orlik::strmbase
