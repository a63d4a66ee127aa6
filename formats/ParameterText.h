// The text a host shows for a parameter's value in the CLAP and VST3
// formats, and the value of a text a musician types. LV2 hosts form their
// own text from the port's range, unit and scale points.
//
// Main thread only: text work.
#pragma once

#include <cstddef>
#include <string_view>

#include "ParameterTable.h"

// The text for plain value `plain` (a value outside the range is shown as
// the nearest end): a choice's name ("Saw down"); a whole number ("12");
// or the number with two decimals ("120.00"); then a space and the unit
// if there is one ("120.00 BPM", "10.00 %"). Cut to `size` - 1 characters
// and zero-terminated; `size` >= 1.
void formatValue(const ParameterInfo& info, double plain, char* text, std::size_t size) noexcept;

// The plain value of a typed text: a choice's name (in any case), or a
// number with or without the unit after it (" 128 bpm" for Tempo). False
// when the text is neither; the value is not clamped.
bool parseValue(const ParameterInfo& info, std::string_view text, double& plain) noexcept;
