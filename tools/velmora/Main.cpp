// velmora: renders audio files through VST 2 plug-ins, lists and inspects
// plug-ins, plots gain curves and runs the built-in demo.
//
// Every failure ends as one line "velmora: error: ..." on stderr and a
// non-zero exit status (2 for a command line that does not parse, 1 for
// everything else).
#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "ChainArguments.h"
#include "CommandLine.h"
#include "Console.h"
#include "Interrupt.h"
#include "ToolError.h"

using namespace velmora::tool;

namespace {

int fail(const std::string& message, int status) {
    std::fflush(stdout);
    std::fprintf(stderr, "velmora: error: %s\n", message.c_str());
    return status;
}

std::string helpHint(const std::string& command) {
    return isCommand(command) && command != "help" ? "see velmora help " + command : "see velmora help";
}

// Parses the arguments (argv without the program name, --then taken out);
// returns the exit status when the program ends here (help, version or a
// parse error), -1 to go on.
int parse(CommandLine& cl, std::vector<std::string> args) {
    const std::string command = commandWord(args);
    if (command.empty() && args.empty())
        return fail("no command given; the commands are " + commandNames() + " (see velmora help)", 2);
    if (!command.empty() && !isCommand(command))
        return fail("unknown command '" + command + "'; the commands are " + commandNames() + " (see velmora help)", 2);
    if (const std::string stray = strayAssignment(args); !stray.empty())
        return fail(
            "each --set takes one NAME=VALUE; write --set before '" + stray + "' too (" + helpHint(command) + ")", 2);
    std::reverse(args.begin(), args.end());  // CLI11 takes the arguments last first
    try {
        cl.app.parse(args);
    } catch (const CLI::CallForHelp& e) {
        return cl.app.exit(e);
    } catch (const CLI::CallForAllHelp& e) {
        return cl.app.exit(e);
    } catch (const CLI::CallForVersion& e) {
        return cl.app.exit(e);
    } catch (const CLI::ParseError& e) {
        if (command.empty())
            return fail("no command given; the commands are " + commandNames() + " (see velmora help)", 2);
        return fail(std::string(e.what()) + " (" + helpHint(command) + ")", 2);
    }
    return -1;
}

// `velmora help [COMMAND]`: the help of the program or of one command.
int printHelp(CommandLine& cl) {
    const CLI::App* topic = &cl.app;
    std::string name = "velmora";
    if (!cl.helpTopic.empty()) {
        if (!isCommand(cl.helpTopic) || cl.helpTopic == "help")
            return fail("no command '" + cl.helpTopic + "'; the commands are " + commandNames(), 2);
        topic = cl.app.get_subcommand(cl.helpTopic);
        name += " " + cl.helpTopic;
    }
    std::fputs(topic->get_formatter()->make_help(topic, name, CLI::AppFormatMode::Normal).c_str(), stdout);
    return 0;
}

void runCommand(CommandLine& cl) {
    const std::filesystem::path plugins =
        cl.pluginDir.empty() ? defaultPluginDir() : std::filesystem::path(cl.pluginDir);
    if (*cl.infoCmd) runInfo(cl.info, plugins);
    if (*cl.listCmd) runList(plugins);
    if (*cl.renderCmd) runRender(cl.render, plugins);
    if (*cl.curveCmd) runCurve(cl.curve, plugins);
    if (*cl.demoCmd) runDemo(cl.demo, plugins);
}

}  // namespace

int main(int argc, char** argv) {
    installInterruptHandlers();
    CommandLine cl;
    SplitArguments split;
    try {
        split = splitChainArguments(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const ToolError& e) {
        return fail(std::string(e.what()) + " (see velmora help render)", 2);
    }
    try {
        if (const int status = parse(cl, split.rest); status >= 0) return status;
        if (*cl.helpCmd) return printHelp(cl);
        cl.render.then = std::move(split.links);
        if (!cl.render.then.empty() && !*cl.renderCmd) throw ToolError("--then belongs to velmora render");
        setQuiet(cl.quiet);
        runCommand(cl);
    } catch (const std::exception& e) {
        return fail(e.what(), 1);
    }
    if (std::fflush(stdout) != 0) return fail("cannot write to standard output", 1);
    return 0;
}
