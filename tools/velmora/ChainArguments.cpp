#include "ChainArguments.h"

#include <charconv>

#include "ToolError.h"

namespace velmora::tool {

namespace {

// "--set X", "-s X", "--set=X", "-sX" and the same for --program: the
// option's value, and how many arguments it took; 0 when `args[i]` is none of them.
int takeValue(const std::vector<std::string>& args, std::size_t i, const std::string& longName, char shortName,
              std::string& value) {
    const std::string& arg = args[i];
    const std::string shortForm = shortName != 0 ? std::string("-") + shortName : std::string();
    if (arg == longName || (!shortForm.empty() && arg == shortForm)) {
        if (i + 1 >= args.size()) throw ToolError(arg + " after --then needs a value");
        value = args[i + 1];
        return 2;
    }
    if (arg.rfind(longName + "=", 0) == 0) {
        value = arg.substr(longName.size() + 1);
        return 1;
    }
    if (!shortForm.empty() && arg.size() > 2 && arg.rfind(shortForm, 0) == 0) {
        value = arg.substr(2);
        return 1;
    }
    return 0;
}

int wholeNumber(const std::string& text) {
    int value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || result.ec != std::errc() || result.ptr != text.data() + text.size())
        throw ToolError("--program after --then takes a whole number, not '" + text + "'");
    return value;
}

}  // namespace

SplitArguments splitChainArguments(const std::vector<std::string>& args) {
    SplitArguments split;
    for (std::size_t i = 0; i < args.size();) {
        if (args[i] != "--then") {
            split.rest.push_back(args[i++]);
            continue;
        }
        if (i + 1 >= args.size() || args[i + 1].starts_with("-")) throw ToolError("--then needs a plug-in");
        ChainLink link{args[i + 1], {}};
        for (i += 2; i < args.size();) {
            std::string value;
            if (const int n = takeValue(args, i, "--set", 's', value)) {
                link.settings.assignments.push_back(value);
                i += n;
            } else if (const int m = takeValue(args, i, "--program", 0, value)) {
                link.settings.program = wholeNumber(value);
                i += m;
            } else {
                break;
            }
        }
        split.links.push_back(link);
    }
    return split;
}

}  // namespace velmora::tool
