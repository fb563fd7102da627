#include "tools/Config.h"

#include <cstdlib>
#include <fstream>
#include <set>
#include <string_view>

#include "tools/Stop.h"

namespace {

std::string_view Trimmed(std::string_view s)
{
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

// A value may be quoted to keep its blanks at the ends.
std::string_view Unquoted(std::string_view v)
{
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front()) return v.substr(1, v.size() - 2);
    return v;
}

// "~/..." in a file name is in the home folder, as a shell would have it.
std::string Home(std::string_view value)
{
    const char* home = std::getenv("HOME");
    if (value.rfind("~/", 0) == 0 && home != nullptr) return home + std::string(value.substr(1));
    return std::string(value);
}

// The option's own message without its leading "--key: ", which the
// config's message names already.
std::string Why(const std::string& message, std::string_view key)
{
    const std::string prefix = "--" + std::string(key) + ": ";
    return message.rfind(prefix, 0) == 0 ? message.substr(prefix.size()) : message;
}

} // namespace

std::vector<MonitorConfig> ReadConfig(const std::string& path, const Options& base)
{
    std::ifstream in(path);
    if (!in) Fail(kExitUsage, path + ": cannot read the config file");
    std::vector<MonitorConfig> monitors;
    std::set<std::string> keys; // of the current section
    int sectionLine = 0;
    const auto fail = [&path](int line, std::string_view key, const std::string& why) {
        Fail(kExitUsage, path + ":" + std::to_string(line) + ": " + (key.empty() ? "" : std::string(key) + ": ") + why);
    };
    const auto finish = [&] {
        if (monitors.empty()) return;
        MonitorConfig& m = monitors.back();
        if (m.Opts.Input.empty()) fail(sectionLine, "input", "section [" + m.Name + "] names no input");
        try {
            CheckOptions(m.Opts);
        } catch (const Stop& s) {
            fail(sectionLine, "", "section [" + m.Name + "]: " + s.Message);
        }
    };
    std::string raw;
    for (int line = 1; std::getline(in, raw); ++line) {
        const std::string_view text = Trimmed(raw);
        if (text.empty() || text[0] == '#' || text[0] == ';') continue;
        if (text[0] == '[') {
            if (text.back() != ']' || Trimmed(text.substr(1, text.size() - 2)).empty())
                fail(line, "", "a section must be [name]");
            finish();
            const std::string name(Trimmed(text.substr(1, text.size() - 2)));
            for (const MonitorConfig& m : monitors)
                if (m.Name == name) fail(line, "", "section [" + name + "] is repeated");
            // The command line's --plot is the picture of all monitors together.
            Options defaults = base;
            defaults.Input.clear();
            defaults.Plot.clear();
            defaults.PlotSizeTyped = false;
            defaults.PlotWidth = Options{}.PlotWidth, defaults.PlotHeight = Options{}.PlotHeight;
            monitors.push_back({name, defaults, 0});
            keys.clear();
            sectionLine = line;
            continue;
        }
        const auto eq = text.find('=');
        if (eq == std::string_view::npos) fail(line, "", "expected key = value");
        const std::string key(Trimmed(text.substr(0, eq)));
        const std::string_view value = Unquoted(Trimmed(text.substr(eq + 1)));
        if (key.empty()) fail(line, "", "expected key = value");
        if (monitors.empty()) fail(line, key, "a key before the first [section]");
        if (!keys.insert(key).second) fail(line, key, "given twice in section [" + monitors.back().Name + "]");
        MonitorConfig& m = monitors.back();
        try {
            SetMonitorOption(m.Opts, key, key == "output" || key == "plot" ? Home(value) : std::string(value));
        } catch (const Stop& s) {
            fail(line, key, Why(s.Message, key));
        }
        if (key == "input") m.InputLine = line;
    }
    finish();
    if (monitors.empty()) Fail(kExitUsage, path + ": no monitor: the file has no [section]");
    return monitors;
}
