// What every Velmora plug-in of the LV2, VST3 and CLAP formats says about
// itself besides its effect: the vendor, the version (the project's, from
// CMakeLists.txt, given by the build as VELMORA_VERSION_MAJOR, _MINOR and
// _PATCH) and the licence.
#pragma once

#include <cstdint>

#ifndef VELMORA_VERSION_MAJOR
#error "the build defines VELMORA_VERSION_MAJOR, VELMORA_VERSION_MINOR and VELMORA_VERSION_PATCH"
#endif

namespace product {

inline constexpr char kVendor[] = "Velmora";
inline constexpr std::uint32_t kMajor = VELMORA_VERSION_MAJOR;
inline constexpr std::uint32_t kMinor = VELMORA_VERSION_MINOR;
inline constexpr std::uint32_t kPatch = VELMORA_VERSION_PATCH;
#define VELMORA_TEXT_OF(x) #x
#define VELMORA_VERSION_TEXT(a, b, c) VELMORA_TEXT_OF(a) "." VELMORA_TEXT_OF(b) "." VELMORA_TEXT_OF(c)
// "1.0.0"
inline constexpr char kVersion[] =
    VELMORA_VERSION_TEXT(VELMORA_VERSION_MAJOR, VELMORA_VERSION_MINOR, VELMORA_VERSION_PATCH);
#undef VELMORA_VERSION_TEXT
#undef VELMORA_TEXT_OF
// LV2 has a minor and a micro version only, and an even minor version marks a
// release: 2 × major + minor, and the patch number (1.0.0 gives 2.0, as the
// first LV2 plug-ins said).
inline constexpr std::uint32_t kLv2MinorVersion = 2 * kMajor + kMinor;
inline constexpr std::uint32_t kLv2MicroVersion = kPatch;
// The licence, as an SPDX identifier and as the URI LV2 descriptions use.
inline constexpr char kLicense[] = "ISC";
inline constexpr char kLicenseUri[] = "http://opensource.org/licenses/isc";

}  // namespace product
