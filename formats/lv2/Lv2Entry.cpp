// The entry of one effect's LV2 binary: its one export, lv2_descriptor.
// The build compiles this file once per effect, naming the effect's
// identity (GaterFormats, TremoloFormats) in VELMORA_EFFECT and its header
// in VELMORA_EFFECT_HEADER.
#include "Export.h"
#include "Lv2Plugin.h"
#include VELMORA_EFFECT_HEADER

// Any thread: the one plug-in of this binary. (Declared by lv2.h without
// noexcept, which a definition cannot add; it cannot throw.)
VELMORA_EXPORT const LV2_Descriptor* lv2_descriptor(std::uint32_t index) {
    return index == 0 ? &TLv2Plugin<VELMORA_EFFECT>::descriptor : nullptr;
}
