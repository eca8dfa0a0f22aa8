// The zip format's fixed fields, for the reader and the writer of packages.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quillmark::zip {

constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kEnd64LocatorSignature = 0x07064b50;
constexpr uint32_t kEnd64Signature = 0x06064b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kLocalSignature = 0x04034b50;
constexpr uint32_t kDescriptorSignature = 0x08074b50;
constexpr size_t kEndSize = 22;
constexpr size_t kEnd64LocatorSize = 20;
constexpr size_t kEnd64Size = 56;
constexpr size_t kCentralSize = 46;
constexpr size_t kLocalSize = 30;
constexpr uint16_t kZip64Extra = 0x0001;
constexpr uint16_t kEncrypted = 0x0001;
constexpr uint16_t kDataDescriptor = 0x0008;  // the local header's checksum and sizes may be zero
constexpr uint16_t kStored = 0;
constexpr uint16_t kDeflated = 8;

}  // namespace quillmark::zip
