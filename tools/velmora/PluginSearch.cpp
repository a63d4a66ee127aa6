#include "PluginSearch.h"

#include <algorithm>
#include <cstdlib>
#include <system_error>

#include "Console.h"
#include "ToolError.h"

namespace velmora::tool {

namespace fs = std::filesystem;

namespace {

bool isFile(const fs::path& path) {
    std::error_code ec;
    return fs::is_regular_file(path, ec);
}

bool isBundle(const fs::path& path) {
    std::error_code ec;
    return textKey(path.extension().string()) == ".vst" && fs::is_directory(path, ec);
}

fs::path executableDir() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : exe.parent_path();
}

void addDir(std::vector<fs::path>& dirs, const fs::path& dir) {
    if (dir.empty()) return;
    const fs::path clean = dir.lexically_normal();
    if (std::find(dirs.begin(), dirs.end(), clean) == dirs.end()) dirs.push_back(clean);
}

// The .so files in a bundle folder, searched at most three levels deep.
std::vector<fs::path> librariesIn(const fs::path& bundle) {
    std::vector<fs::path> found;
    std::error_code ec;
    fs::recursive_directory_iterator it(bundle, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        if (it.depth() >= 3) it.disable_recursion_pending();
        if (it->path().extension() == ".so" && isFile(it->path())) found.push_back(it->path());
    }
    std::sort(found.begin(), found.end());
    return found;
}

// The entry of `dir` that the name means, without regard to case; an
// entry whose case matches exactly wins over one that does not.
fs::path findIn(const fs::path& dir, const std::string& name) {
    fs::path caseless;
    for (const fs::path& candidate : pluginCandidates(dir)) {
        const std::string file = candidate.filename().string();
        for (const std::string& form : {name, name + ".so", name + ".vst"}) {
            if (file == form) return candidate;
            if (caseless.empty() && textKey(file) == textKey(form)) caseless = candidate;
        }
    }
    return caseless;
}

}  // namespace

fs::path defaultPluginDir() {
    const fs::path dir = executableDir();
    return dir.empty() ? fs::path("plugins") : dir.parent_path() / "plugins";
}

std::vector<fs::path> pluginSearchDirs(const fs::path& pluginDir) {
    std::vector<fs::path> dirs;
    addDir(dirs, pluginDir);
    if (const char* vstPath = std::getenv("VST_PATH")) {
        const std::string list = vstPath;
        std::size_t start = 0;
        while (start <= list.size()) {
            const auto end = std::min(list.find(':', start), list.size());
            if (end > start) addDir(dirs, list.substr(start, end - start));
            start = end + 1;
        }
    }
    if (const char* home = std::getenv("HOME")) addDir(dirs, fs::path(home) / ".vst");
    addDir(dirs, "/usr/local/lib/vst");
    addDir(dirs, "/usr/lib/vst");
    if (!executableDir().empty()) addDir(dirs, executableDir().parent_path());
    return dirs;
}

std::vector<fs::path> pluginCandidates(const fs::path& dir) {
    std::vector<fs::path> found;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path& path = it->path();
        if ((path.extension() == ".so" && isFile(path)) || isBundle(path)) found.push_back(path);
    }
    std::sort(found.begin(), found.end());
    return found;
}

std::string pluginLibraryPath(const fs::path& candidate) {
    if (!isBundle(candidate)) return candidate.string();
    const std::string stem = candidate.stem().string();
    for (const fs::path& inside :
         {candidate / (stem + ".so"), candidate / "Contents" / "x86_64-linux" / (stem + ".so")})
        if (isFile(inside)) return inside.string();
    const auto libraries = librariesIn(candidate);
    if (libraries.size() == 1) return libraries.front().string();
    throw ToolError(
        "the bundle '" + candidate.string() + "' holds " +
        (libraries.empty() ? std::string("no .so file") : "several .so files but none named " + stem + ".so"));
}

std::string resolvePlugin(const std::string& name, const fs::path& pluginDir) {
    if (name.empty()) throw ToolError("the plug-in name is empty");
    if (name.find('/') != std::string::npos) return pluginLibraryPath(name);
    if (isFile(name) || isBundle(name)) return pluginLibraryPath(fs::current_path() / name);
    const auto dirs = pluginSearchDirs(pluginDir);
    for (const auto& dir : dirs) {
        const fs::path found = findIn(dir, name);
        if (!found.empty()) return pluginLibraryPath(found);
    }
    std::string looked;
    for (const auto& dir : dirs) looked += (looked.empty() ? "" : ", ") + dir.string();
    throw ToolError("plug-in '" + name + "' not found (looked in " + looked + "; velmora list shows what is there)");
}

std::string pluginDisplayName(const std::string& path) {
    fs::path p(path);
    return p.extension() == ".so" ? p.stem().string() : p.filename().string();
}

}  // namespace velmora::tool
