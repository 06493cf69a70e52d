#pragma once

#include <cstdint>

namespace hlx::directmode {

// What the demo's frame socket (framesAtom) says, in the machine's byte order: both ends are on
// one machine. The pixels lie in a memfd that the demo passes with its first message: two slots
// of `stride * height` bytes one after the other, 32-bit pixels 0xffRRGGBB, so that a client
// never reads the slot that is being written. The memfd is sealed against shrinking, so that a
// client's reads cannot fault, and against growing; nothing of it lies in a folder.

// Demo to client, first and once, with the memfd as SCM_RIGHTS.
struct PixelsOffer {
    uint32_t magic;
    uint32_t width;
    uint32_t height;
    uint32_t stride;
};
constexpr uint32_t pixelsOfferMagic = 0x48465850; // "PXFH"

// Demo to client, once a frame is complete in `slot`. The client holds that slot from here on,
// until it releases it; the demo writes no slot that a client holds.
struct FrameMessage {
    uint32_t slot;
    // Counts the frames the demo published, so that a client can tell how many it missed.
    uint32_t sequence;
    uint32_t width;
    uint32_t height;
    uint32_t stride;
};

// Client to demo: a uint32_t slot number that the client no longer reads.
using SlotRelease = uint32_t;

} // namespace hlx::directmode
