#pragma once
// Byte order as the settings configure it (settings.little_endian), not as detected:
// the program treats data in memory as being in the configured order.

#include <cstddef>
#include <cstdint>

/// v unchanged when little_endian is non-zero, else its two bytes exchanged: a value read
/// from little-endian data in host order, or a host value in the form that stores as
/// little-endian data (the same exchange serves both ways).
uint16_t host_u16(uint16_t v);

/// The same for a 32-bit value: unchanged, or its four bytes reversed.
uint32_t host_u32(uint32_t v);

/// A four-character tag written as a text-order number (big-endian, "IMPM" is 0x494D504D)
/// turned into the number the host reads from those bytes in memory, and back: the four
/// bytes reversed when little_endian is non-zero, else unchanged.
uint32_t magic_u32(uint32_t v);

/// Exchanges the two bytes of every 16-bit sample in the first size bytes of samples, in
/// place; an odd last byte is left alone.
void swap_sample_bytes(void *samples, size_t size);
