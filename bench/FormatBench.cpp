// The LV2, VST3 and CLAP plug-ins beside the VST 2 ones, in the same run
// and at the same settings, each driven as its hosts drive it (one run or
// process call per block, the parameters set before the first, the
// host's transport or time port with every block):
//   VelmoraGater-clap/<n>, -lv2/<n>, -vst3/<n>: the default program, next
//     to VelmoraGater/<n>
//   VelmoraTremolo-sine-clap/<n>, -lv2/<n>, -vst3/<n>: the sine at 120 BPM,
//     next to VelmoraTremolo-sine/<n>
// The LV2 host here gives the plug-in the URID map, connects the audio
// ports before every block and an empty atom sequence to the time port.
// FormatFloorBench.cpp measures what these cost without the sound.
#include "FormatBenchCommon.h"
#include "GaterDescription.h"
#include "TremoloDescription.h"

namespace {

using namespace velmora::bench;

// The built plug-in files of the effect `name` (CLAP id `id`).
FormatSources builtFiles(const std::string& name, const std::string& id) {
    const std::string plugins = VELMORA_PLUGIN_DIR;
    return {[=] { return velmora::host::ClapPlugin::load(plugins + "/clap/" + name + ".clap", id); },
            [=](const std::vector<float>& values) {
                return Lv2Instance::load(plugins + "/lv2/" + name + ".lv2", name + ".so", "urn:velmora:" + id.substr(8),
                                         values);
            },
            [=] {
                return velmora::host::Vst3Plugin::load(
                    plugins + "/vst3/" + name + ".vst3/Contents/x86_64-linux/" + name + ".so", name);
            }};
}

[[maybe_unused]] const bool registered = [] {
    registerFormatCases("VelmoraGater", "", builtFiles("VelmoraGater", "velmora.gater"),
                        plainDefaults<GaterDescription>());
    registerFormatCases("VelmoraTremolo-sine", "", builtFiles("VelmoraTremolo", "velmora.tremolo"),
                        plainDefaults<TremoloDescription>(TremoloDescription::kWaveform, 2.0f));
    return true;
}();

}  // namespace
