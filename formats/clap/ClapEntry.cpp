// The one export of an effect's CLAP file, clap_entry (ClapEntry.h). The
// build compiles this file once per effect, naming the effect's identity
// (GaterFormats, TremoloFormats) in VELMORA_EFFECT and its header in
// VELMORA_EFFECT_HEADER.
#include "ClapEntry.h"
#include "Export.h"
#include VELMORA_EFFECT_HEADER

VELMORA_EXPORT const clap_plugin_entry clap_entry = TClapEntry<VELMORA_EFFECT>::entry;
