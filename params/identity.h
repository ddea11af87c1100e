// Who the instrument is: the facts it reports to a host.
#pragma once

#include <cstdint>

constexpr std::int32_t kUniqueId = 0x6B7A7437;  // 'k','z','t','7'
constexpr std::int32_t kRecordVersion = 1;
constexpr std::int32_t kNumPrograms = 1;
constexpr std::int32_t kNumInputs = 0;
constexpr std::int32_t kNumOutputs = 2;

constexpr const char* kEffectName = "brightmoor - quorvel";
constexpr const char* kVendorString = "Talvo";
constexpr const char* kProductString = "v0.31 21.06.24";
constexpr std::int32_t kVendorVersion = 1000;

constexpr const char* kDefaultProgramName = "Default";
constexpr int kProgramNameSize = 32;
