// The S3C6410 PWM-timer block. For now its registers hold what is written,
// with their power-on values.
#include "board/register_file.h"

namespace orlik::board {

std::shared_ptr<Block> MakePwmTimerBlock() {
  return std::make_shared<RegisterFile>(
      "PWM timers", std::initializer_list<RegisterSpec>{{0x00, "TCFG0", 0x0101},
                                                        {0x04, "TCFG1", 0},
                                                        {0x08, "TCON", 0},
                                                        {0x0C, "TCNTB0", 0},
                                                        {0x10, "TCMPB0", 0},
                                                        {0x14, "TCNTO0", 0},
                                                        {0x18, "TCNTB1", 0},
                                                        {0x1C, "TCMPB1", 0},
                                                        {0x20, "TCNTO1", 0},
                                                        {0x24, "TCNTB2", 0},
                                                        {0x2C, "TCNTO2", 0},
                                                        {0x30, "TCNTB3", 0},
                                                        {0x38, "TCNTO3", 0},
                                                        {0x3C, "TCNTB4", 0},
                                                        {0x40, "TCNTO4", 0},
                                                        {0x44, "TINT_CSTAT", 0}});
}

}  // namespace orlik::board
