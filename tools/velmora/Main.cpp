// velmora: renders audio files through VST 2 plug-ins, prints plug-in
// records, plots gain curves and runs the built-in demo.
//
// Every failure ends as one line "velmora: error: ..." on stderr and a
// non-zero exit status (2 for a command line that does not parse, 1 for
// everything else).
#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <string>

#include "Commands.h"
#include "Console.h"
#include "SafeOutput.h"

using namespace velmora::tool;

namespace {

void addSettingOptions(CLI::App& command, PluginSettings& settings) {
    command.add_option("--program", settings.program, "Select program N (0-based) before the --set values");
    command
        .add_option("--set,-s", settings.assignments,
                    "Set a parameter, NAME_OR_INDEX=VALUE with VALUE normalised to 0..1 "
                    "(names ignore case and spaces: step1, \"Step 1\"); repeatable")
        ->allow_extra_args(false)
        ->type_name("NAME=VALUE");
}

// The first word that is neither an option nor --plugin-dir's value: the
// command, so a mistyped one is named in the error.
std::string commandWord(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--plugin-dir") {
            ++i;
            continue;
        }
        if (!arg.empty() && arg[0] == '-') continue;
        return arg;
    }
    return {};
}

int fail(const std::string& message, int status) {
    std::fflush(stdout);
    std::fprintf(stderr, "velmora: error: %s\n", message.c_str());
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    installOutputCleanupHandlers();

    CLI::App app{"velmora: render audio files through VST 2 plug-ins, inspect them and plot their gain curves"};
    app.set_version_flag("--version", "velmora 1.0.0");
    app.require_subcommand(1);
    app.fallthrough();
    std::string pluginDir;
    bool quiet = false;
    app.add_option("--plugin-dir", pluginDir, "Folder of the plug-ins (default: ../plugins beside velmora)")
        ->type_name("DIR");
    app.add_flag("--quiet,-q", quiet, "Print nothing but errors");

    InfoOptions info;
    auto* infoCmd = app.add_subcommand("info", "Print a plug-in's record and its parameters");
    infoCmd->add_option("PLUGIN", info.plugin, "Plug-in file, or the name of one in the plug-in folder")->required();

    RenderOptions render;
    auto* renderCmd = app.add_subcommand("render", "Render an audio file through a plug-in");
    renderCmd->add_option("PLUGIN", render.plugin, "Plug-in file, or the name of one in the plug-in folder")
        ->required();
    renderCmd->add_option("INPUT", render.input, "Audio file to read (WAV, AIFF, FLAC, Ogg, ...)")->required();
    renderCmd
        ->add_option("OUTPUT", render.output,
                     "Audio file to write; the extension picks the format (.wav: 32-bit float)")
        ->required();
    addSettingOptions(*renderCmd, render.settings);
    renderCmd->add_option("--block-size", render.blockSize, "Frames per processing call (default 512)")
        ->check(CLI::Range(1, 65536));
    renderCmd->add_option("--tail", render.tailSeconds, "Seconds of silence to render after the input")
        ->check(CLI::Range(0.0, 3600.0));
    renderCmd->add_flag("--force,-f", render.force, "Overwrite OUTPUT if it exists");

    CurveOptions curve;
    auto* curveCmd = app.add_subcommand("curve", "Plot the gain a plug-in applies over time");
    curveCmd->add_option("PLUGIN", curve.plugin, "Plug-in file, or the name of one in the plug-in folder")->required();
    curveCmd->add_option("OUTPUT", curve.output, "Plot (.png, .svg) or table (.csv) to write")->required();
    curveCmd->add_option("--seconds", curve.seconds, "Length of the curve (default 2)")->check(CLI::Range(0.0, 3600.0));
    curveCmd->add_option("--sample-rate", curve.sampleRate, "Sample rate in Hz (default 44100)")
        ->check(CLI::Range(1000.0, 768000.0));
    curveCmd->add_option("--block-size", curve.blockSize, "Frames per processing call (default 512)")
        ->check(CLI::Range(1, 65536));
    addSettingOptions(*curveCmd, curve.settings);
    curveCmd->add_flag("--force,-f", curve.force, "Overwrite OUTPUT if it exists");

    DemoOptions demo;
    auto* demoCmd =
        app.add_subcommand("demo", "Render a built-in test signal through VelmoraGater and VelmoraTremolo into OUTDIR");
    demoCmd->add_option("OUTDIR", demo.outDir, "Folder for the WAV files and plots (default: out)");

    const std::string command = commandWord(argc, argv);
    if (!command.empty() && command != "info" && command != "render" && command != "curve" && command != "demo")
        return fail("unknown command '" + command + "'; the commands are info, render, curve and demo", 2);
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        if (command.empty())
            return fail("no command given; the commands are info, render, curve and demo (see velmora --help)", 2);
        return fail(std::string(e.what()) + " (see velmora --help)", 2);
    }

    setQuiet(quiet);
    const std::filesystem::path plugins = pluginDir.empty() ? defaultPluginDir() : std::filesystem::path(pluginDir);
    try {
        if (*infoCmd) runInfo(info, plugins);
        if (*renderCmd) runRender(render, plugins);
        if (*curveCmd) runCurve(curve, plugins);
        if (*demoCmd) runDemo(demo, plugins);
    } catch (const std::exception& e) {
        return fail(e.what(), 1);
    }
    if (std::fflush(stdout) != 0) return fail("cannot write to standard output", 1);
    return 0;
}
