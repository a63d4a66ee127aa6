// velmora_lv2_ttl EFFECT FOLDER BINARY: writes the LV2 description of one
// effect (gater or tremolo) into FOLDER, the effect's bundle, whose
// plug-in binary is the file BINARY there:
//   manifest.ttl      the plug-in and its presets, for a host's discovery
//   <Name>.ttl        the plug-in: its ports (audio, one control per
//                     parameter with name, range, default, unit, integer
//                     and enumeration properties, the time port), features,
//                     licence and version
//   presets.ttl       the port values of every preset
// all from the effect's description and programs, so that nothing of the
// tables is written twice. Run by the build after the binary is linked.
// Prints one line and exits with 1 when it cannot write a file.
#include <charconv>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "FactoryPrograms.h"
#include "GaterFormats.h"
#include "Product.h"
#include "SyncParameter.h"
#include "TremoloFormats.h"

namespace {

const char* const kPrefixes =
    "@prefix atom:  <http://lv2plug.in/ns/ext/atom#> .\n"
    "@prefix doap:  <http://usefulinc.com/ns/doap#> .\n"
    "@prefix foaf:  <http://xmlns.com/foaf/0.1/> .\n"
    "@prefix lv2:   <http://lv2plug.in/ns/lv2core#> .\n"
    "@prefix pg:    <http://lv2plug.in/ns/ext/port-groups#> .\n"
    "@prefix pset:  <http://lv2plug.in/ns/ext/presets#> .\n"
    "@prefix rdf:   <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
    "@prefix rdfs:  <http://www.w3.org/2000/01/rdf-schema#> .\n"
    "@prefix time:  <http://lv2plug.in/ns/ext/time#> .\n"
    "@prefix units: <http://lv2plug.in/ns/extensions/units#> .\n"
    "@prefix urid:  <http://lv2plug.in/ns/ext/urid#> .\n\n";

// A number as Turtle reads it back to the same float: "120", "0.5".
std::string number(float value) {
    char text[32];
    const std::to_chars_result written = std::to_chars(text, text + sizeof(text), value);
    return std::string(text, written.ptr);
}

// The preset's URI: <URI#preset001> for program 0.
std::string presetUri(const char* uri, std::uint32_t program) {
    char suffix[16];
    std::snprintf(suffix, sizeof(suffix), "#preset%03u", program + 1);
    return std::string("<") + uri + suffix + ">";
}

// The LV2 unit of a table's unit text; the generator knows these only, so
// that a new one is mapped on purpose.
std::string unitOf(const ParameterInfo& info) {
    const std::string unit = info.unit;
    if (unit.empty()) return "";
    if (unit == "BPM") return "        units:unit units:bpm ;\n";
    if (unit == "%") return "        units:unit units:pc ;\n";
    throw std::runtime_error(std::string("no LV2 unit for \"") + info.unit + "\" of " + info.symbol);
}

void writeAudioPorts(std::ostream& out, const char* uri) {
    const char* const symbols[] = {"lv2_in_l", "lv2_in_r", "lv2_out_l", "lv2_out_r"};
    const char* const names[] = {"Input L", "Input R", "Output L", "Output R"};
    for (int index = 0; index < 4; ++index) {
        const bool input = index < 2;
        out << "    lv2:port [\n        a lv2:" << (input ? "Input" : "Output") << "Port, lv2:AudioPort ;\n"
            << "        lv2:index " << index << " ;\n        lv2:symbol \"" << symbols[index] << "\" ;\n"
            << "        lv2:name \"" << names[index] << "\" ;\n"
            << "        pg:group <" << uri << (input ? "#in" : "#out") << "> ;\n"
            << "        lv2:designation pg:" << (index % 2 == 0 ? "left" : "right") << " ;\n    ] ;\n";
    }
}

void writeControlPort(std::ostream& out, std::uint32_t index, const ParameterInfo& info, float defaultValue) {
    out << "    lv2:port [\n        a lv2:InputPort, lv2:ControlPort ;\n"
        << "        lv2:index " << index << " ;\n        lv2:symbol \"" << info.symbol << "\" ;\n"
        << "        lv2:name \"" << info.name << "\" ;\n"
        << "        lv2:default " << number(defaultValue) << " ;\n"
        << "        lv2:minimum " << number(float(info.minimum)) << " ;\n"
        << "        lv2:maximum " << number(float(info.maximum)) << " ;\n"
        << unitOf(info);
    if (&info == &kSyncParameter) {
        out << "        lv2:portProperty lv2:toggled ;\n    ] ;\n";
        return;
    }
    if (info.kind != ParameterKind::kLinear) out << "        lv2:portProperty lv2:integer ;\n";
    if (info.kind == ParameterKind::kChoice) {
        out << "        lv2:portProperty lv2:enumeration ;\n";
        for (std::int32_t choice = 0; choice < info.choiceCount; ++choice) {
            out << "        lv2:scalePoint [ rdfs:label \"" << info.choices[choice] << "\" ; rdf:value " << choice
                << " ] ;\n";
        }
    }
    out << "    ] ;\n";
}

void writeTimePort(std::ostream& out, std::uint32_t index) {
    out << "    lv2:port [\n        a lv2:InputPort, atom:AtomPort ;\n"
        << "        lv2:index " << index << " ;\n        lv2:symbol \"time\" ;\n"
        << "        lv2:name \"Host time\" ;\n"
        << "        atom:bufferType atom:Sequence ;\n        atom:supports time:Position ;\n"
        << "        lv2:portProperty lv2:connectionOptional ;\n    ] ;\n";
}

template <class Effect>
void writePlugin(std::ostream& out) {
    using Description = typename Effect::Description;
    using Programs = TFactoryPrograms<Description>;
    const char* uri = Effect::names.lv2Uri;
    out << kPrefixes << "<" << uri << ">\n    a lv2:" << Effect::names.lv2Class << ", lv2:Plugin, doap:Project ;\n"
        << "    doap:name \"" << Description::name << "\" ;\n"
        << "    rdfs:comment \"" << Description::summary << "\" ;\n"
        << "    doap:license <" << product::kLicenseUri << "> ;\n"
        << "    doap:maintainer [ foaf:name \"" << product::kVendor << "\" ] ;\n"
        << "    lv2:minorVersion " << product::kLv2MinorVersion << " ;\n"
        << "    lv2:microVersion " << product::kLv2MicroVersion << " ;\n"
        << "    lv2:optionalFeature lv2:hardRTCapable, urid:map ;\n";
    writeAudioPorts(out, uri);
    std::uint32_t index = 4;
    for (const ParameterInfo& info : Description::parameters) {
        writeControlPort(out, index++, info, Programs::defaultValue(info));
    }
    writeTimePort(out, index++);
    writeControlPort(out, index, kSyncParameter, Programs::defaultValue(kSyncParameter));
    out << "    .\n\n";
    for (const char* group : {"in", "out"}) {
        out << "<" << uri << "#" << group << ">\n    a pg:StereoGroup, pg:" << (group[0] == 'i' ? "Input" : "Output")
            << "Group ;\n    lv2:symbol \"" << group << "\" ;\n    rdfs:label \"Stereo "
            << (group[0] == 'i' ? "input" : "output") << "\" .\n\n";
    }
}

template <class Effect>
void writeManifest(std::ostream& out, const std::string& binary) {
    using Programs = TFactoryPrograms<typename Effect::Description>;
    out << kPrefixes << "<" << Effect::names.lv2Uri << ">\n    a lv2:Plugin ;\n    lv2:binary <" << binary << "> ;\n"
        << "    rdfs:seeAlso <" << Effect::Description::name << ".ttl> .\n\n";
    for (std::uint32_t program = 0; program < Programs::count; ++program) {
        out << presetUri(Effect::names.lv2Uri, program) << "\n    a pset:Preset ;\n    lv2:appliesTo <"
            << Effect::names.lv2Uri << "> ;\n    rdfs:label \"" << Programs::name(program)
            << "\" ;\n    rdfs:seeAlso <presets.ttl> .\n\n";
    }
}

template <class Effect>
void writePresets(std::ostream& out) {
    using Description = typename Effect::Description;
    using Programs = TFactoryPrograms<Description>;
    out << kPrefixes;
    for (std::uint32_t program = 0; program < Programs::count; ++program) {
        out << presetUri(Effect::names.lv2Uri, program);
        for (std::uint32_t index = 0; index < std::uint32_t(Description::parameterCount); ++index) {
            out << (index == 0 ? "\n    lv2:port" : " ,") << " [\n        lv2:symbol \""
                << Description::parameters[index].symbol << "\" ;\n        pset:value "
                << number(Programs::value(program, index)) << " ;\n    ]";
        }
        out << " .\n\n";
    }
}

// The text made by `write`, as the file `path` (replaced if it exists: it
// is the build's own).
template <class Write>
void writeFile(const std::string& path, Write write) {
    std::ostringstream text;
    write(text);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text.str();
    file.close();
    if (!file) throw std::runtime_error("cannot write " + path);
}

template <class Effect>
void writeBundle(const std::string& folder, const std::string& binary) {
    writeFile(folder + "/manifest.ttl", [&](std::ostream& out) { writeManifest<Effect>(out, binary); });
    writeFile(folder + "/" + Effect::Description::name + ".ttl", [](std::ostream& out) { writePlugin<Effect>(out); });
    writeFile(folder + "/presets.ttl", [](std::ostream& out) { writePresets<Effect>(out); });
}

}  // namespace

int main(int argc, char** argv) {
    const std::string effect = argc == 4 ? argv[1] : "";
    try {
        if (effect == "gater") {
            writeBundle<GaterFormats>(argv[2], argv[3]);
        } else if (effect == "tremolo") {
            writeBundle<TremoloFormats>(argv[2], argv[3]);
        } else {
            std::fprintf(stderr, "velmora_lv2_ttl: usage: velmora_lv2_ttl gater|tremolo FOLDER BINARY\n");
            return 1;
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "velmora_lv2_ttl: %s\n", error.what());
        return 1;
    }
    return 0;
}
