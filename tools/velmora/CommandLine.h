// velmora's command line: the commands, their options and help texts
// (through CLI11), and the parsed options they fill in.
#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include "Commands.h"

namespace velmora::tool {

struct CommandLine {
    CLI::App app{"velmora: render audio files through VST 2 plug-ins, inspect them and plot their gain curves",
                 "velmora"};
    std::string pluginDir;
    bool quiet = false;
    InfoOptions info;
    RenderOptions render;
    CurveOptions curve;
    DemoOptions demo;
    std::string helpTopic;
    std::vector<std::string> thenForHelp;  // --then is taken out before parsing; this only shows it in the help
    CLI::App* infoCmd = nullptr;
    CLI::App* listCmd = nullptr;
    CLI::App* renderCmd = nullptr;
    CLI::App* curveCmd = nullptr;
    CLI::App* demoCmd = nullptr;
    CLI::App* helpCmd = nullptr;

    CommandLine();
    CommandLine(const CommandLine&) = delete;
    CommandLine& operator=(const CommandLine&) = delete;
};

// The names of the commands, for messages: "info, list, render, curve, demo and help".
std::string commandNames();

// Whether `word` names one of the commands.
bool isCommand(const std::string& word);

// The first word that is neither an option nor --plugin-dir's value: the
// command, so a mistyped one is named in the error.
std::string commandWord(const std::vector<std::string>& args);

// An argument that looks like a second NAME=VALUE given to one --set
// ("-s edge=0 tempo=1"), or "" when there is none.
std::string strayAssignment(const std::vector<std::string>& args);

}  // namespace velmora::tool
