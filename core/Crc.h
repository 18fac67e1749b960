#pragma once
// Checksums: CRC-32 (IEEE 802.3, reflected), CRC-16 with polynomial 0x1021
// most significant bit first (XMODEM/ZModem/EMSI), CRC-16 with the
// reflected polynomial 0x8408 (Hydra), and CRC-16/ARC with the reflected
// polynomial 0xA001 (ARC and LHA archives).

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace velmaris {

// CRC-32 register after feeding length bytes of buffer into register.
// No pre- or post-inversion; a null buffer or a length of 0 returns register.
std::uint32_t Crc32Update(std::uint32_t reg, const void* buffer, std::size_t length);

// The register after one byte (the step the PKWARE cipher's keys take).
std::uint32_t Crc32Step(std::uint32_t reg, std::uint8_t byte);

// IEEE 802.3 CRC-32: register started at 0xFFFFFFFF, result inverted.
// "123456789" gives 0xCBF43926; no bytes give 0.
std::uint32_t Crc32OfBuffer(const void* buffer, std::size_t length);
std::uint32_t Crc32OfString(std::string_view text);

// One step of the 0x1021 register in its augmented form:
// table[reg >> 8] ^ (reg << 8) ^ byte, 16 bits kept.
std::uint16_t Crc16Step(std::uint16_t reg, std::uint8_t byte);

// Steps over every byte of buffer, then over two zero bytes (the flush of the
// augmented form).
std::uint16_t Crc16Update(std::uint16_t reg, const void* buffer, std::size_t length);

// Crc16Update started at 0: CRC-16/XMODEM ("123456789" gives 0x31C3).
std::uint16_t Crc16OfBuffer(const void* buffer, std::size_t length);
std::uint16_t Crc16OfString(std::string_view text);

// Eight reflected rounds with polynomial 0x8408 over one byte.
std::uint16_t Crc16ReflectedStep(std::uint8_t byte, std::uint16_t reg);
std::uint16_t Crc16ReflectedUpdate(std::uint16_t reg, const void* buffer, std::size_t length);

// Crc16ReflectedUpdate started at 0xFFFF, not complemented (callers complement
// where their protocol asks for it).
std::uint16_t Crc16ReflectedOfBuffer(const void* buffer, std::size_t length);

// CRC-16/ARC register after feeding length bytes of buffer; callers preset 0
// ("123456789" gives 0xBB3D). A null buffer or a length of 0 returns reg.
std::uint16_t Crc16ArcUpdate(std::uint16_t reg, const void* buffer, std::size_t length);

}  // namespace velmaris
