// A block that behaves as plain storage: named registers with reset values.
// Blocks with behaviour derive from it and override what they model.
#pragma once

#include "board/board.h"

#include <initializer_list>
#include <map>

namespace orlik::board {

struct RegisterSpec {
  uint32_t offset;
  const char* name;
  uint32_t resetValue;
};

class RegisterFile : public Block {
 public:
  RegisterFile(const char* name, std::initializer_list<RegisterSpec> registers)
      : name_(name), specs_(registers) {
    RegisterFile::Reset();
  }
  const char* Name() const override { return name_; }
  uint32_t Read(uint32_t offset) override {
    auto it = values_.find(offset);
    if (it != values_.end()) return it->second;
    UnknownRead(offset);
    return 0;
  }
  void Write(uint32_t offset, uint32_t value) override {
    auto it = values_.find(offset);
    if (it == values_.end()) {
      UnknownWrite(offset, value);
      return;
    }
    it->second = value;
  }
  void Reset() override {
    values_.clear();
    for (auto& r : specs_) values_[r.offset] = r.resetValue;
  }

 protected:
  uint32_t& Reg(uint32_t offset) { return values_[offset]; }

 private:
  const char* name_;
  std::vector<RegisterSpec> specs_;
  std::map<uint32_t, uint32_t> values_;
};

}  // namespace orlik::board
