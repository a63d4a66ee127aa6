// A small LV2 host over lilv for the tests: one plug-in of the build's
// bundles with its control ports in an array of ours, the Sync port and
// the time port connected on request, and a time:Position writer that
// fills the time port's sequence as a host does.
#pragma once

#include <lilv/lilv.h>
#include <lv2/atom/forge.h>
#include <lv2/time/time.h>
#include <lv2/urid/urid.h>

#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "TwinRender.h"
#include "UridMap.h"

namespace velmora::formats {

class Lv2Plugin {
public:
    // The plug-in `uri` of the build's bundles at `rate`, with the URID map
    // or with no feature at all, its controls at `controls` (port 4 on).
    Lv2Plugin(const char* uri, std::vector<float> controls, bool withMap, double rate = kRate)
        : controls(std::move(controls)) {
        setenv("LV2_PATH", (std::string(VELMORA_PLUGIN_DIR) + "/lv2").c_str(), 1);
        lilv_world_load_all(world);
        LilvNode* node = lilv_new_uri(world, uri);
        const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), node);
        lilv_node_free(node);
        const LV2_Feature* features[] = {withMap ? map.feature() : nullptr, nullptr};
        instance = plugin != nullptr ? lilv_plugin_instantiate(plugin, rate, features) : nullptr;
        if (instance == nullptr) return;
        for (std::uint32_t i = 0; i < this->controls.size(); ++i) {
            lilv_instance_connect_port(instance, 4 + i, &this->controls[i]);
        }
        lilv_instance_activate(instance);
    }
    ~Lv2Plugin() {
        if (instance != nullptr) {
            lilv_instance_deactivate(instance);
            lilv_instance_free(instance);
        }
        lilv_world_free(world);
    }
    Lv2Plugin(const Lv2Plugin&) = delete;
    Lv2Plugin& operator=(const Lv2Plugin&) = delete;

    bool loaded() const { return instance != nullptr; }
    LV2_URID urid(const char* uri) { return map.urid(uri); }
    // Control port 4 + index, read by the next run.
    void setControl(std::uint32_t index, float value) { controls[index] = value; }
    void connectTime(const LV2_Atom_Sequence* events) {
        lilv_instance_connect_port(instance, 4 + std::uint32_t(controls.size()),
                                   const_cast<LV2_Atom_Sequence*>(events));
    }
    // The Sync switch, the port after the time port.
    void connectSync(float* sync) { lilv_instance_connect_port(instance, 5 + std::uint32_t(controls.size()), sync); }

    // One run on `frames` frames.
    void run(const float* in0, const float* in1, float* out0, float* out1, std::uint32_t frames) {
        lilv_instance_connect_port(instance, 0, const_cast<float*>(in0));
        lilv_instance_connect_port(instance, 1, const_cast<float*>(in1));
        lilv_instance_connect_port(instance, 2, out0);
        lilv_instance_connect_port(instance, 3, out1);
        lilv_instance_run(instance, frames);
    }

    // The input through the plug-in in unkind blocks; `beforeBlock(frames)`
    // runs before each.
    Stereo render(const std::function<void(std::uint32_t)>& beforeBlock = {}) {
        return renderInUnkindBlocks([&](const float* in0, const float* in1, float* out0, float* out1, std::uint32_t n) {
            if (beforeBlock) beforeBlock(n);
            run(in0, in1, out0, out1, n);
        });
    }

private:
    LilvWorld* world = lilv_world_new();
    LilvInstance* instance = nullptr;
    host::UridMap map;
    std::vector<float> controls;
};

// A sequence of events in a buffer, as a host fills the time port: begin(),
// the events in the order of their frames, end().
class TimeEvents {
public:
    explicit TimeEvents(Lv2Plugin& plugin) : plugin(plugin) {
        LV2_URID_Map map{this, [](LV2_URID_Map_Handle self, const char* uri) {
                             return static_cast<TimeEvents*>(self)->plugin.urid(uri);
                         }};
        lv2_atom_forge_init(&forge, &map);
    }
    const LV2_Atom_Sequence* sequence() const { return reinterpret_cast<const LV2_Atom_Sequence*>(buffer); }

    void begin() {
        lv2_atom_forge_set_buffer(&forge, buffer, sizeof(buffer));
        lv2_atom_forge_sequence_head(&forge, &sequenceFrame, 0);
    }
    // A time:Position at `frame` with these properties (all doubles).
    void position(std::uint32_t frame, std::initializer_list<std::pair<const char*, double>> properties) {
        LV2_Atom_Forge_Frame object;
        lv2_atom_forge_frame_time(&forge, frame);
        lv2_atom_forge_object(&forge, &object, 0, plugin.urid(LV2_TIME__Position));
        for (const auto& [key, value] : properties) {
            lv2_atom_forge_key(&forge, plugin.urid(key));
            lv2_atom_forge_double(&forge, value);
        }
        lv2_atom_forge_pop(&forge, &object);
    }
    // An empty object of another class at `frame`.
    void other(std::uint32_t frame, const char* type) {
        LV2_Atom_Forge_Frame object;
        lv2_atom_forge_frame_time(&forge, frame);
        lv2_atom_forge_object(&forge, &object, 0, plugin.urid(type));
        lv2_atom_forge_pop(&forge, &object);
    }
    void end() { lv2_atom_forge_pop(&forge, &sequenceFrame); }

    // After end(): an event header at `frame` whose body claims `size`
    // bytes, past the sequence's end (a host's mistake).
    void appendOverrunningEvent(std::uint32_t frame, std::uint32_t size) {
        auto* last = reinterpret_cast<LV2_Atom_Event*>(buffer + sizeof(LV2_Atom) + sequence()->atom.size);
        last->time.frames = frame;
        last->body = {size, plugin.urid(LV2_ATOM__Object)};
        reinterpret_cast<LV2_Atom*>(buffer)->size += sizeof(LV2_Atom_Event);
    }

private:
    Lv2Plugin& plugin;
    LV2_Atom_Forge forge{};
    LV2_Atom_Forge_Frame sequenceFrame{};
    alignas(8) std::uint8_t buffer[2048]{};
};

}  // namespace velmora::formats
