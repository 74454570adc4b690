// The panel's storage as the board simulates it: file-system faults and the
// free space of volumes, set through orlik/sim_files.h. The platform's file
// calls ask here before each operation on a host path below the device root.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orlik::board {

// The operations of ORLIK_SIM_FILE_* (same values).
enum FileOp : int {
  kFileCreate = 1,
  kFileWrite = 2,
  kFileRead = 4,
  kFileRename = 8,
  kFileFreeSpace = 16,
};

// The errno the operation on hostPath must fail with, 0 when it goes ahead.
// Counts the operation against the faults that cover the path. Costs one
// atomic load while no fault is set.
int StorageFault(FileOp op, std::string_view hostPath);

// The free space set for the volume that holds hostPath, if one is set.
std::optional<uint64_t> StorageFree(const std::string& hostPath);

// The settings in force, as an environment entry ("NAME=value") for a
// program this process starts; empty when nothing is set.
std::string StorageSettingsForChild();
// The environment variable's name, so a starter can drop an inherited one.
inline constexpr const char* kStorageSettingsVariable = "ORLIK_SIM_STORAGE";

}  // namespace orlik::board
