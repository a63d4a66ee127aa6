// `velmora list`: the plug-ins in the search folders, each probed in a
// child process of its own, so that one that crashes or hangs while
// loading is reported instead of ending the listing.
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "Commands.h"
#include "Console.h"
#include "ToolError.h"

namespace velmora::tool {

namespace fs = std::filesystem;

namespace {

constexpr int probeTimeoutMs = 10000;

struct Probe {
    std::string name, identifier, inputs, outputs, parameters, file;
};

// The child's side: loads the plug-in and writes its row (tab-separated)
// or "!reason".
std::string describePlugin(const fs::path& candidate) {
    try {
        const std::string path = pluginLibraryPath(candidate);
        auto plugin = loadPlugin(path);
        const std::string row = enclosed(plugin->uniqueIdText(), '\'') + "\t" + std::to_string(plugin->numInputs()) +
                                "\t" + std::to_string(plugin->numOutputs()) + "\t" +
                                std::to_string(plugin->numParams());
        plugin->close();
        return row;
    } catch (const std::exception& e) {
        return std::string("!") + e.what();
    }
}

std::string readAll(int fd) {
    std::string text;
    char buffer[4096];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, probeTimeoutMs) <= 0) return text + "\n!no answer within 10 s";
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) return text;
        text.append(buffer, static_cast<std::size_t>(n));
    }
}

std::vector<std::string> fields(const std::string& text) {
    std::vector<std::string> result;
    std::size_t start = 0;
    for (std::size_t tab; (tab = text.find('\t', start)) != std::string::npos; start = tab + 1)
        result.push_back(text.substr(start, tab - start));
    result.push_back(text.substr(start));
    return result;
}

Probe probe(const fs::path& candidate) {
    Probe row{candidate.stem().string(), "", "", "", "", candidate.string()};
    int pipeFds[2];
    if (pipe(pipeFds) != 0) throw ToolError("cannot start a probe of '" + candidate.string() + "'");
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        close(pipeFds[0]);
        const std::string answer = describePlugin(candidate);
        if (write(pipeFds[1], answer.data(), answer.size()) < 0) _exit(1);
        _exit(0);
    }
    close(pipeFds[1]);
    const std::string answer = child < 0 ? "!cannot start a probe" : readAll(pipeFds[0]);
    close(pipeFds[0]);
    if (child > 0) {
        kill(child, SIGKILL);  // ends a probe that hangs; a finished one is already gone
        int status = 0;
        waitpid(child, &status, 0);
        if (WIFSIGNALED(status) && answer.empty()) return {row.name, "(crashed while loading)", "", "", "", row.file};
    }
    const std::size_t bang = answer.find('!');
    if (bang != std::string::npos)
        return {row.name, "(cannot load: " + answer.substr(bang + 1) + ")", "", "", "", row.file};
    const auto f = fields(answer);
    if (f.size() != 4) return {row.name, "(no answer)", "", "", "", row.file};
    return {row.name, f[0], f[1], f[2], f[3], row.file};
}

}  // namespace

void runList(const fs::path& pluginDir) {
    const auto dirs = pluginSearchDirs(pluginDir);
    std::vector<Probe> rows;
    for (const fs::path& dir : dirs)
        for (const fs::path& candidate : pluginCandidates(dir)) rows.push_back(probe(candidate));
    if (rows.empty()) {
        std::string looked;
        for (const auto& dir : dirs) looked += (looked.empty() ? "" : ", ") + dir.string();
        say("no plug-ins found (looked in " + looked + ")");
        return;
    }
    const Probe header{"Name", "Identifier", "Inputs", "Outputs", "Parameters", "File"};
    std::size_t w[5] = {};
    for (const Probe& r : rows) w[0] = std::max(w[0], r.name.size());
    w[0] = std::max(w[0], header.name.size());
    w[1] = header.identifier.size();
    w[2] = header.inputs.size();
    w[3] = header.outputs.size();
    w[4] = header.parameters.size();
    auto line = [&](const Probe& r) {
        if (r.inputs.empty()) return padded(r.name, w[0]) + "  " + r.identifier + "  " + r.file;
        return padded(r.name, w[0]) + "  " + padded(r.identifier, w[1]) + "  " + padded(r.inputs, w[2]) + "  " +
               padded(r.outputs, w[3]) + "  " + padded(r.parameters, w[4]) + "  " + r.file;
    };
    say(line(header));
    for (const Probe& r : rows) say(line(r));
}

}  // namespace velmora::tool
