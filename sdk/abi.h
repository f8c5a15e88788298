// Shared conventions of the host API declarations.
//
// The host is a 32-bit Windows program: every record below is laid out as the
// 32-bit host lays it out (pointers and integers 4 bytes, doubles 8 bytes and
// 8-byte aligned). Whenever we are built for a 32-bit target the byte position
// of every member the host relies on is pinned with a static_assert. On 64-bit
// targets the records keep their member order but pointers grow to 8 bytes;
// the stand-in host and the module then share our declarations and agree.
#pragma once

#include <cstddef>
#include <cstdint>

// Every callback crossing the host boundary uses the C calling convention.
#if defined(_WIN32) && defined(__i386__)
#define PX_CDECL __cdecl
#else
#define PX_CDECL
#endif

// True when pointers are 4 bytes: the host's own layout applies byte for byte.
#define PX_ABI_32 (UINTPTR_MAX == 0xFFFFFFFFu)

// A double member as the 32-bit Windows host lays it out: 8-byte aligned even
// where the platform ABI (i386 System V) would align it to 4.
#define PX_DOUBLE alignas(8) double

// Pins a member's byte position within the host's 32-bit record.
#define PX_AT(record, member, byte)                                 \
    static_assert(!PX_ABI_32 || offsetof(record, member) == (byte), \
                  #record "." #member " must sit at byte " #byte)
// Pins a record's size within the host's 32-bit layout.
#define PX_SIZE(record, bytes) \
    static_assert(!PX_ABI_32 || sizeof(record) == (bytes), #record " must be " #bytes " bytes")

// Positions the host fills in a table but that the module never calls are
// declared with this type so the positions of later members stay right.
typedef void(PX_CDECL* HostReservedFn)(void);

// Error results of callbacks: null means "no error"; otherwise a static text.
typedef const char* HostError;

// As PX_AT and PX_SIZE, for records that hold no pointers: pinned on every target.
#define PX_AT_ALL(record, member, byte)               \
    static_assert(offsetof(record, member) == (byte), \
                  #record "." #member " must sit at byte " #byte)
#define PX_SIZE_ALL(record, bytes) \
    static_assert(sizeof(record) == (bytes), #record " must be " #bytes " bytes")
