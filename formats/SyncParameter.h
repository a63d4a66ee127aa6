// Sync: the switch, in the LV2, VST3 and CLAP formats, between the host's
// beat and the effect's own Tempo. On (the default), the effect follows
// the song while the host's transport rolls and reports tempo and position
// (HostGrid.h); off, or without them, it runs on its Tempo like the VST 2
// plug-in. It comes after the description's table: its index (parameter
// id) is the table's size, 19 in VelmoraGater, 4 in VelmoraTremolo.
#pragma once

#include "ParameterTable.h"

inline constexpr const char* kSyncChoices[] = {"Off", "On"};
inline constexpr ParameterInfo kSyncParameter = {.symbol = "sync",
                                                 .name = "Sync",
                                                 .defaultValue = 1.0f,
                                                 .minimum = 0.0,
                                                 .maximum = 1.0,
                                                 .kind = ParameterKind::kChoice,
                                                 .display = DisplayRule::kChoiceName,
                                                 .choices = kSyncChoices,
                                                 .vstChoices = kSyncChoices,
                                                 .choiceCount = 2};
