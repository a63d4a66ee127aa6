// The edit controller and unit (program list) interfaces of a VST3
// plug-in (TVst3Plugin): what a host shows and sets of the parameters, and
// the programs. The plug-in is one object, component and controller both:
// the values the controller shows are the ones the audio plays.
//
// Parameters: the table's, with their ids, names, units, steps and
// defaults (Vst3Values.h), every one automatable, a choice as a list;
// then the program change (hidden, a list of the programs). The root unit
// holds them all and the one program list, "Programs": the factory
// programs (all "Init" for now).
//
// Main thread (the host's UI thread) for every function here; they take
// no lock and allocate nothing.
#pragma once

#include <travesty/edit_controller.h>
#include <travesty/unit.h>

#include <cmath>

#include "ParameterText.h"
#include "Vst3Interface.h"
#include "Vst3Values.h"

template <class Plugin>
struct TVst3Controller {
    using Core = typename Plugin::Core;
    using Values = TVst3Values<Core>;
    static constexpr std::int32_t kProgramListId = 1;

    // The component's state is the controller's: already loaded, one object.
    static v3_result V3_API setComponentState(void*, v3_bstream**) noexcept { return V3_OK; }
    // The controller keeps nothing of its own.
    static v3_result V3_API setState(void*, v3_bstream**) noexcept { return V3_OK; }
    static v3_result V3_API getState(void*, v3_bstream**) noexcept { return V3_OK; }

    static std::int32_t V3_API parameterCount(void*) noexcept { return std::int32_t(Core::parameterCount) + 1; }

    static v3_result V3_API parameterInfo(void*, std::int32_t index, v3_param_info* info) noexcept {
        if (info == nullptr || index < 0 || index > std::int32_t(Core::parameterCount)) return V3_INVALID_ARG;
        *info = {};
        if (index == std::int32_t(Core::parameterCount)) {
            info->param_id = Values::kProgramId;
            toUtf16("Program", info->title, 128);
            toUtf16("Program", info->short_title, 128);
            info->step_count = std::int32_t(Values::kLastProgram);
            info->flags = V3_PARAM_CAN_AUTOMATE | V3_PARAM_IS_LIST | V3_PARAM_PROGRAM_CHANGE | V3_PARAM_IS_HIDDEN;
            return V3_OK;
        }
        const ParameterInfo& parameter = Core::info(std::uint32_t(index));
        info->param_id = v3_param_id(index);
        toUtf16(parameter.name, info->title, 128);
        toUtf16(parameter.name, info->short_title, 128);
        toUtf16(parameter.unit, info->units, 128);
        info->step_count = Values::stepsOf(parameter);
        info->default_normalised_value = Values::normalisedOf(info->param_id, Core::Programs::defaultValue(parameter));
        info->flags = V3_PARAM_CAN_AUTOMATE;
        if (parameter.kind == ParameterKind::kChoice) info->flags |= V3_PARAM_IS_LIST;
        return V3_OK;
    }

    static v3_result V3_API stringForValue(void*, v3_param_id id, double normalised, v3_str_128 text) noexcept {
        if (!Values::isKnown(id) || text == nullptr) return V3_INVALID_ARG;
        const double plain = Values::plainOf(id, normalised);
        if (id == Values::kProgramId) {
            toUtf16(Core::Programs::name(plain == plain ? std::uint32_t(plain) : 0), text, 128);
        } else {
            char ascii[128];
            formatValue(Core::info(id), plain, ascii, sizeof(ascii));
            toUtf16(ascii, text, 128);
        }
        return V3_OK;
    }

    static v3_result V3_API valueForString(void*, v3_param_id id, std::int16_t* text, double* normalised) noexcept {
        char ascii[128];
        double plain = 0.0;
        if (!Values::isTableParameter(id) || text == nullptr || normalised == nullptr) return V3_INVALID_ARG;
        if (!fromUtf16(text, ascii, sizeof(ascii)) || !parseValue(Core::info(id), ascii, plain)) return V3_FALSE;
        *normalised = Values::normalisedOf(id, presentedValue(Core::info(id), plain));
        return V3_OK;
    }

    static double V3_API toPlain(void*, v3_param_id id, double normalised) noexcept {
        return Values::isKnown(id) ? Values::plainOf(id, normalised) : 0.0;
    }
    static double V3_API toNormalised(void*, v3_param_id id, double plain) noexcept {
        return Values::isKnown(id) ? Values::normalisedOf(id, plain) : 0.0;
    }

    static double V3_API normalised(void* self, v3_param_id id) noexcept {
        if (self == nullptr || !Values::isKnown(id)) return 0.0;
        const Core& core = TVst3Slot<Plugin>::of(self).core();
        return Values::normalisedOf(id, id == Values::kProgramId ? double(core.program()) : double(core.value(id)));
    }

    // A value the host sets here is heard as if sent to the processor. A
    // program change tells the host that every value changed.
    static v3_result V3_API setNormalised(void* self, v3_param_id id, double value) noexcept {
        if (self == nullptr || !Values::isKnown(id)) return V3_INVALID_ARG;
        Plugin& plugin = TVst3Slot<Plugin>::of(self);
        Values::apply(plugin.core(), id, value);
        if (id == Values::kProgramId) plugin.valuesChanged();
        return V3_OK;
    }

    static v3_result V3_API setHandler(void* self, v3_component_handler** handler) noexcept {
        if (self == nullptr) return V3_INVALID_ARG;
        TVst3Slot<Plugin>::of(self).setHandler(handler);
        return V3_OK;
    }

    // No editor: the host shows the parameters.
    static v3_plugin_view** V3_API createView(void*, const char*) noexcept { return nullptr; }

    static constexpr v3_edit_controller_cpp table = {
        {Plugin::queryInterface, Plugin::ref, Plugin::unref},
        {Plugin::initialize, Plugin::terminate},
        {setComponentState, setState, getState, parameterCount, parameterInfo, stringForValue, valueForString, toPlain,
         toNormalised, normalised, setNormalised, setHandler, createView}};

    // --- units: the root unit and its program list ---

    static std::int32_t V3_API unitCount(void*) noexcept { return 1; }
    static v3_result V3_API unitInfo(void*, std::int32_t index, v3_unit_info* info) noexcept {
        if (index != 0 || info == nullptr) return V3_INVALID_ARG;
        *info = {};
        info->id = 0;
        info->parent_unit_id = -1;
        toUtf16("Root", info->name, 128);
        info->program_list_id = kProgramListId;
        return V3_OK;
    }
    static std::int32_t V3_API programListCount(void*) noexcept { return 1; }
    static v3_result V3_API programListInfo(void*, std::int32_t index, v3_program_list_info* info) noexcept {
        if (index != 0 || info == nullptr) return V3_INVALID_ARG;
        *info = {};
        info->id = kProgramListId;
        toUtf16("Programs", info->name, 128);
        info->programCount = std::int32_t(Core::Programs::count);
        return V3_OK;
    }
    static v3_result V3_API programName(void*, std::int32_t list, std::int32_t program, v3_str_128 name) noexcept {
        if (list != kProgramListId || program < 0 || program > std::int32_t(Values::kLastProgram) || name == nullptr) {
            return V3_INVALID_ARG;
        }
        toUtf16(Core::Programs::name(std::uint32_t(program)), name, 128);
        return V3_OK;
    }
    // Programs have no attributes and no pitch names.
    static v3_result V3_API programInfo(void*, std::int32_t, std::int32_t, const char*, v3_str_128) noexcept {
        return V3_FALSE;
    }
    static v3_result V3_API hasPitchNames(void*, std::int32_t, std::int32_t) noexcept { return V3_FALSE; }
    static v3_result V3_API pitchName(void*, std::int32_t, std::int32_t, std::int16_t, v3_str_128) noexcept {
        return V3_FALSE;
    }
    static std::int32_t V3_API selectedUnit(void*) noexcept { return 0; }
    static v3_result V3_API selectUnit(void*, std::int32_t unit) noexcept { return unit == 0 ? V3_OK : V3_INVALID_ARG; }
    static v3_result V3_API unitOfBus(void*, std::int32_t, std::int32_t, std::int32_t, std::int32_t,
                                      std::int32_t* unit) noexcept {
        if (unit == nullptr) return V3_INVALID_ARG;
        *unit = 0;
        return V3_OK;
    }
    // Programs are not loaded from data here (the host sets the program change parameter).
    static v3_result V3_API setProgramData(void*, std::int32_t, std::int32_t, v3_bstream**) noexcept {
        return V3_NOT_IMPLEMENTED;
    }

    static constexpr v3_unit_information_cpp units = {
        {Plugin::queryInterface, Plugin::ref, Plugin::unref},
        {unitCount, unitInfo, programListCount, programListInfo, programName, programInfo, hasPitchNames, pitchName,
         selectedUnit, selectUnit, unitOfBus, setProgramData}};
};
