#include "CommandLine.h"

#include <system_error>

namespace velmora::tool {

namespace {

const char* const commands[] = {"info", "list", "render", "curve", "demo", "help"};

constexpr const char* pluginHelp = "Plug-in file or .vst folder, or a name from 'velmora list' (any case)";

constexpr const char* setHelp =
    "Set one parameter: NAME=VALUE (one per --set; repeat --set for more). NAME is the parameter's name "
    "(any case, spaces optional: \"step 1\", step1) or index. VALUE is what the plug-in shows, with its unit "
    "(tempo=128bpm, \"step 2=-6dB\", edge=30%) or as a word (waveform=sine); NAME==VALUE for a shown number "
    "without a unit (steps==16); a bare number is the host value from 0 to 1 (tempo=0.5)";

constexpr const char* renderFooter =
    "Examples:\n"
    "  velmora render VelmoraGater in.wav out.wav --set tempo=128bpm --set \"step 2=-6dB\"\n"
    "  velmora render VelmoraTremolo *.wav --output-dir processed --bits 16\n"
    "  velmora render VelmoraGater in.wav out.wav --then VelmoraTremolo --set waveform=sine\n"
    "  cat in.wav | velmora render VelmoraTremolo - - --type flac > out.flac";

// A whole number from `low` to `high`, said in words when it is not
// (CLI11's own range prints "INT:INT in [1 - 65536]" in the help).
CLI::Validator wholeNumberFrom(int low, int high) {
    const std::string range = "a whole number from " + std::to_string(low) + " to " + std::to_string(high);
    return CLI::Validator(
        [=](std::string& text) {
            std::size_t used = 0;
            long value = 0;
            try {
                value = std::stol(text, &used);
            } catch (const std::exception&) {
                used = 0;
            }
            return used == text.size() && value >= low && value <= high ? std::string() : text + " is not " + range;
        },
        "");
}

void addSettingOptions(CLI::App& command, PluginSettings& settings) {
    command.add_option("--program", settings.program, "Select program N (from 0) before the --set values")
        ->type_name("N");
    command.add_option("--set,-s", settings.assignments, setHelp)
        ->allow_extra_args(false)
        ->type_name("NAME=VALUE")
        ->default_str("");
}

void addRender(CommandLine& cl) {
    RenderOptions& r = cl.render;
    cl.renderCmd = cl.app.add_subcommand("render", "Render audio files through a plug-in (or a chain of them)");
    CLI::App& c = *cl.renderCmd;
    c.footer(renderFooter);
    c.add_option("PLUGIN", r.plugin, pluginHelp)->required()->type_name("");
    c.add_option("FILES", r.files,
                 "INPUT OUTPUT; or, with --output-dir, any number of INPUTs. '-' is standard input or output. "
                 "Formats: WAV, AIFF, FLAC, Ogg Vorbis, CAF, AU, W64, by extension")
        ->required()
        ->type_name("")
        ->default_str("");
    addSettingOptions(c, r.settings);
    c.add_option("--then", cl.thenForHelp,
                 "Then through PLUGIN, with the --set and --program options that follow it; repeatable")
        ->type_name("PLUGIN")
        ->default_str("");
    c.add_option("--output-dir,-o", r.outputDir, "Write each INPUT into DIR under its own name")->type_name("DIR");
    c.add_option("--type,-t", r.type, "Output format by extension (wav, flac, ...); needed for '-' as OUTPUT")
        ->type_name("EXT");
    c.add_option("--bits,-b", r.bits, "Sample depth: 16, 24 (both dithered), 32 or float (default: the input's)")
        ->type_name("16|24|32|float");
    c.add_flag("--mono-out", r.monoOut, "Write a mono file: the mean of the two output channels");
    c.add_flag("--stereo-out", r.stereoOut, "Write a stereo file, also from a mono input");
    c.add_option("--block-size", r.blockSize, "Frames per processing call, 1 to 65536")
        ->check(wholeNumberFrom(1, 65536))
        ->type_name("FRAMES");
    c.add_option("--tail", r.tailSeconds, "Seconds of silence to render after the input, 0 to 3600")
        ->type_name("SECONDS");
    c.add_flag("--strict", r.strict, "Fail, writing nothing, when an input is shorter than its header says");
    c.add_flag("--force,-f", r.force, "Overwrite existing output files");
}

void addCurve(CommandLine& cl) {
    CurveOptions& o = cl.curve;
    cl.curveCmd = cl.app.add_subcommand("curve", "Plot the gain a plug-in applies over time");
    CLI::App& c = *cl.curveCmd;
    c.add_option("PLUGIN", o.plugin, pluginHelp)->required()->type_name("");
    c.add_option("OUTPUT", o.output, "Plot (.png, .svg) or table (.csv) to write")->required()->type_name("");
    c.add_option("--seconds", o.seconds, "Length of the curve, up to 3600")->type_name("SECONDS");
    c.add_option("--sample-rate", o.sampleRate, "Sample rate, 1000 to 768000")->type_name("HZ");
    c.add_option("--block-size", o.blockSize, "Frames per processing call, 1 to 65536")
        ->check(wholeNumberFrom(1, 65536))
        ->type_name("FRAMES");
    addSettingOptions(c, o.settings);
    c.add_flag("--force,-f", o.force, "Overwrite OUTPUT if it exists");
}

void addInfoAndList(CommandLine& cl) {
    cl.infoCmd = cl.app.add_subcommand("info", "Print a plug-in's record and its parameters with their ranges");
    cl.infoCmd->add_option("PLUGIN", cl.info.plugin, pluginHelp)->required()->type_name("");
    cl.listCmd = cl.app.add_subcommand(
        "list", "List the plug-ins in $VST_PATH, ~/.vst, /usr/local/lib/vst, /usr/lib/vst and the build's folder");
}

void addDemoAndHelp(CommandLine& cl) {
    cl.demoCmd = cl.app.add_subcommand(
        "demo", "Render a built-in test signal through VelmoraGater and VelmoraTremolo into OUTDIR, with plots");
    cl.demoCmd->add_option("OUTDIR", cl.demo.outDir, "Folder for the WAV files and plots")->type_name("");
    cl.demoCmd->add_flag("--force,-f", cl.demo.force, "Overwrite the demo's files if OUTDIR has them");
    cl.helpCmd = cl.app.add_subcommand("help", "Show the help of a command: velmora help render");
    cl.helpCmd->add_option("COMMAND", cl.helpTopic, "The command: " + commandNames())->type_name("");
}

}  // namespace

CommandLine::CommandLine() {
    app.option_defaults()->always_capture_default();
    app.get_formatter()->column_width(26);
    app.set_version_flag("--version", "velmora 1.0.0");
    app.require_subcommand(1);
    app.fallthrough();
    app.add_option("--plugin-dir", pluginDir, "Folder searched first for plug-ins (default: the build's plugins)")
        ->type_name("DIR");
    app.add_flag("--quiet,-q", quiet, "Print nothing but errors and warnings");
    app.get_formatter()->label("SUBCOMMAND", "COMMAND");
    app.footer("velmora help COMMAND shows a command's options.");
    addInfoAndList(*this);
    addRender(*this);
    addCurve(*this);
    addDemoAndHelp(*this);
    for (CLI::App* command : app.get_subcommands({})) command->group("Commands");
}

std::string commandNames() { return "info, list, render, curve, demo and help"; }

bool isCommand(const std::string& word) {
    for (const char* c : commands)
        if (word == c) return true;
    return false;
}

std::string commandWord(const std::vector<std::string>& args) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--plugin-dir") {
            ++i;
            continue;
        }
        if (!args[i].empty() && args[i][0] == '-') continue;
        return args[i];
    }
    return {};
}

std::string strayAssignment(const std::vector<std::string>& args) {
    for (std::size_t i = 0; i + 2 < args.size(); ++i) {
        if (args[i] != "--set" && args[i] != "-s") continue;
        const std::string& next = args[i + 2];
        std::error_code ec;
        if (next.find('=') != std::string::npos && !next.starts_with("-") && !std::filesystem::exists(next, ec))
            return next;
    }
    return {};
}

}  // namespace velmora::tool
