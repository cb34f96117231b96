#pragma once

#include <cstddef>
#include <cstdint>

// CRC-32 (IEEE 802.3, as zlib's crc32), folded with carry-less multiplies
// where the processor has them: checking every byte should cost little next
// to writing it.
uint32_t Crc32Update(uint32_t crc, const void* data, size_t size);
