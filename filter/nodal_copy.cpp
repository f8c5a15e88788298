#include "filter/nodal_copy.h"

#include <cstring>
#include <iterator>
#include <utility>

namespace {

struct CopyRow {
    std::size_t nodal;    // byte in the nodal access record
    std::size_t shading;  // byte in the shading record
    std::size_t bytes;
};

// Copies of whole members, without conversion; both sides are the same size.
template <typename NodalMember, typename ShadingMember>
constexpr std::size_t SameSize() {
    static_assert(sizeof(NodalMember) == sizeof(ShadingMember), "copied members differ in size");
    return sizeof(NodalMember);
}
#define ROW(nodalMember, shadingMember)                                                     \
    CopyRow {                                                                               \
        offsetof(HostNodalAccess, nodalMember), offsetof(HostShadingRecord, shadingMember), \
            SameSize<decltype(HostNodalAccess::nodalMember),                                \
                     decltype(HostShadingRecord::shadingMember)>()                          \
    }

// Nodal byte        <- shading byte
constexpr CopyRow kCopyMap[] = {
    ROW(pixelX, pixelX),                    //   0 word           <-   0
    ROW(pixelY, pixelY),                    //   4 word           <-   4
    ROW(objectPosition, objectPosition),    //   8 three doubles  <-   8
    ROW(worldPosition, worldPosition),      //  32 three doubles  <-  32
    ROW(geometricNormal, geometricNormal),  //  56 three doubles  <-  56
    ROW(normal, normal),                    //  80 three doubles  <- 280
    ROW(perturbedNormal, perturbedNormal),  // 104 three doubles  <- 416
    ROW(raySource, raySource),              // 128 three doubles  <-  88
    ROW(rayLength, rayLength),              // 152 double         <- 112
    ROW(spotSize, spotSize),                // 160 double         <-  80
    ROW(cosine, cosine),                    // 168 double         <- 120
    ROW(bumpHeight, bumpHeight),            // 176 double         <- 440
    ROW(objectToWorld, objectToWorld),      // 184 nine doubles   <- 128
    ROW(worldToObject, worldToObject),      // 256 nine doubles   <- 200
    ROW(rayDepth, rayDepth),                // 328 word           <- 384
    ROW(hitSide, hitSide),                  // 332 word           <- 744
    ROW(sampleIndex, sampleIndex),          // 336 word           <- 388
    ROW(threadIndex, threadIndex),          // 340 word           <- 392
    ROW(surfaceTag, surfaceTag),            // 344 word           <- 396
                                            // 348: not written
    ROW(flags, flags),                      // 352 word           <- 404
    ROW(materialIndex, materialIndex),      // 356 word           <- 408
    ROW(objectTag, objectTag),              // 360 word           <- 272
    ROW(polygonIndex, polygonIndex),        // 364 word           <- 276
    ROW(lightTags, lightTags),              // 368 four words     <- 488
    ROW(lightIntensity, lightIntensity),    // 384 four floats    <- 504 (entries 0-3)
    ROW(lightColor, lightColor),            // 400 four float triples <- 520 (entries 0-3)
    ROW(shadowFlags, shadowFlags),          // 448 word           <- 568
                                            // 452: not written
    ROW(refractionIndex, refractionIndex),  // 456 double         <- 632
    ROW(backFacing, backFacing),            // 464 word           <- 640
    ROW(lightCount, lightCount),            // 468 word           <- 400
};

// One copy per row, each of a size the compiler knows, so that none is a call.
template <std::size_t... Row>
void CopyRows(const unsigned char* from, unsigned char* to, std::index_sequence<Row...>) noexcept {
    (std::memcpy(to + kCopyMap[Row].nodal, from + kCopyMap[Row].shading, kCopyMap[Row].bytes), ...);
}

}  // namespace

void CopyShadingToNodal(const HostShadingRecord& shading, HostNodalAccess& nodal) noexcept {
    CopyRows(reinterpret_cast<const unsigned char*>(&shading),
             reinterpret_cast<unsigned char*>(&nodal),
             std::make_index_sequence<std::size(kCopyMap)>());
}
