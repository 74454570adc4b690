// The S3C6410 ADC block. For now its registers hold what is written, with
// their power-on values.
#include "board/register_file.h"

namespace orlik::board {

std::shared_ptr<Block> MakeAdcBlock() {
  return std::make_shared<RegisterFile>(
      "ADC", std::initializer_list<RegisterSpec>{{0x00, "ADCCON", 0x3FC4},
                                                 {0x04, "ADCTSC", 0x58},
                                                 {0x08, "ADCDLY", 0xFF},
                                                 {0x0C, "ADCDAT0", 0},
                                                 {0x10, "ADCDAT1", 0},
                                                 {0x14, "ADCUPDN", 0},
                                                 {0x18, "ADCCLRINT", 0},
                                                 {0x20, "ADCCLRINTPNDNUP", 0}});
}

}  // namespace orlik::board
