// Scene load and save states: how a server reads and writes its own blocks
// inside the host's scene file.
#pragma once

#include "sdk/abi.h"

// Four characters packed into 32 bits, the first character in the most
// significant byte: HostBlockId("NDNO") == 0x4E444E4F.
constexpr uint32_t HostBlockId(const char (&s)[5]) {
    return (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) |
           (uint32_t(uint8_t(s[2])) << 8) | uint32_t(uint8_t(s[3]));
}

// One entry of a block identifier table; a table ends with an all-zero entry.
struct HostBlockIdent {
    uint32_t id;        // byte 0
    const char* token;  // byte 4: the block's name in the scene file
};
PX_AT(HostBlockIdent, id, 0);
PX_AT(HostBlockIdent, token, 4);
PX_SIZE(HostBlockIdent, 8);

enum HostIoMode : int32_t {
    kHostIoBinary = 0,
    kHostIoText = 1,
};

// Handed to a server's load callback.
struct HostLoadState {
    int32_t ioMode;                   // byte 0: HostIoMode
    void* data;                       // byte 4: first argument of every operation below
    HostReservedFn valueReaders[10];  // bytes 8-47: value readers; unused by the module
    // byte 48: (data, block ident table) -> ID of the next block found among the table's
    // entries, entering it, or 0 when the current block holds no further such block
    uint32_t(PX_CDECL* findId)(void* data, const HostBlockIdent* idents);
    void(PX_CDECL* endBlock)(
        void* data);  // byte 52: (data) leaves the block, skipping what is unread
};
PX_AT(HostLoadState, ioMode, 0);
PX_AT(HostLoadState, data, 4);
PX_AT(HostLoadState, valueReaders, 8);
PX_AT(HostLoadState, findId, 48);
PX_AT(HostLoadState, endBlock, 52);
PX_SIZE(HostLoadState, 56);

// Handed to a server's save callback.
struct HostSaveState {
    int32_t ioMode;                   // byte 0: HostIoMode
    void* data;                       // byte 4: first argument of every operation below
    HostReservedFn valueWriters[10];  // bytes 8-47: value writers; unused by the module
    // byte 48: (data, block ident entry, leaf flag) opens a block; a leaf block holds values only
    void(PX_CDECL* beginBlock)(void* data, const HostBlockIdent* ident, int32_t leaf);
    void(PX_CDECL* endBlock)(void* data);  // byte 52: (data) closes the innermost block
};
PX_AT(HostSaveState, ioMode, 0);
PX_AT(HostSaveState, data, 4);
PX_AT(HostSaveState, valueWriters, 8);
PX_AT(HostSaveState, beginBlock, 48);
PX_AT(HostSaveState, endBlock, 52);
PX_SIZE(HostSaveState, 56);
