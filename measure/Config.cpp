#include "measure/Config.h"

#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <string_view>

#include <sys/stat.h>

#include "engine/Fault.h"
#include "measure/Files.h"
#include "measure/OptionTable.h"
#include "measure/Stop.h"

namespace {

constexpr std::size_t kMaxConfigBytes = 1 << 20; // the most a config file may hold
constexpr std::size_t kMaxLineBytes = 4096;      // the most one line may hold
constexpr std::size_t kMaxMonitors = 256;        // the most sections one process runs
const std::string kUtf8Bom = "\xEF\xBB\xBF";

bool Blank(char c) { return c == ' ' || c == '\t'; }
bool CommentMark(char c) { return c == '#' || c == ';'; }

std::string_view Trimmed(std::string_view s)
{
    const auto first = s.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

// True when what follows a value or a section's ']' is nothing or a comment
// after a blank.
bool OnlyComment(std::string_view after)
{
    const std::string_view rest = Trimmed(after);
    return rest.empty() || (CommentMark(rest[0]) && Blank(after[0]));
}

// The value after a key's '=': a quoted value is what lies between its
// quotes (blanks, '#' and ';' included); an unquoted one ends before a '#'
// or ';' that follows a blank, and loses its blanks at the ends.  *why is
// set when something other than a comment follows the closing quote.
std::string_view ValueOf(std::string_view after, std::string* why)
{
    const auto start = after.find_first_not_of(" \t");
    if (start == std::string_view::npos) return {};
    if (const char quote = after[start]; quote == '"' || quote == '\'') {
        if (const auto close = after.find(quote, start + 1); close != std::string_view::npos) {
            if (!OnlyComment(after.substr(close + 1)))
                *why = "text after the closing quote: '" + Shown(Trimmed(after.substr(close + 1))) + "'";
            return after.substr(start + 1, close - start - 1);
        }
    }
    std::size_t end = after.size();
    for (std::size_t i = start + 1; i < after.size(); ++i)
        if (CommentMark(after[i]) && Blank(after[i - 1])) {
            end = i;
            break;
        }
    return Trimmed(after.substr(start, end - start));
}

// The option's own message without its leading "--key: " or "--key ",
// which the config's message names already.
std::string Why(const std::string& message, std::string_view key)
{
    for (const std::string& prefix : {"--" + std::string(key) + ": ", "--" + std::string(key) + " "})
        if (message.rfind(prefix, 0) == 0) return message.substr(prefix.size());
    return message;
}

// The file's text, refused (status 2) unless it is a regular file of at
// most kMaxConfigBytes.
std::string Contents(const std::string& path)
{
    if (const std::string why = NotAFileToRead(path); !why.empty()) Fail(kExitUsage, path + ": " + why);
    const std::string tooLarge = path + ": larger than 1 MiB (" + std::to_string(kMaxConfigBytes) +
                                 " bytes), the most a config file may hold";
    struct stat st {};
    if (stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && static_cast<std::size_t>(st.st_size) > kMaxConfigBytes)
        Fail(kExitUsage, tooLarge);
    std::ifstream in(path, std::ios::binary);
    if (!in) Fail(kExitUsage, path + ": cannot read the config file");
    // Read no more than the limit allows, also from a file that grows.
    std::string text(kMaxConfigBytes + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (in.bad()) Fail(kExitUsage, path + ": cannot read the config file");
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (text.size() > kMaxConfigBytes) Fail(kExitUsage, tooLarge);
    if (text.rfind(kUtf8Bom, 0) == 0) text.erase(0, kUtf8Bom.size());
    return text;
}

} // namespace

std::vector<MonitorConfig> ReadConfig(const std::string& path, const Options& base)
{
    const std::string text = Contents(path);
    std::vector<MonitorConfig> monitors;
    std::set<std::string> names; // of the sections so far
    const auto fail = [&path](int line, std::string_view key, const std::string& why, int status = kExitUsage) {
        Fail(status, path + ":" + std::to_string(line) + ": " + (key.empty() ? "" : Shown(key) + ": ") + why);
    };
    const auto section = [](const MonitorConfig& m) { return "section [" + Shown(m.Name) + "]"; };
    // Where a key of this section is given, else the section's own line.
    const auto lineOf = [](const MonitorConfig& m, const std::string& key) {
        const auto it = m.KeyLines.find(key);
        return it == m.KeyLines.end() ? m.SectionLine : it->second;
    };
    // "~/..." in a file name is in the home folder, as a shell would have it.
    const auto home = [&fail](int line, std::string_view key, std::string_view value) {
        if (value.rfind("~/", 0) != 0) return std::string(value);
        const char* home = std::getenv("HOME");
        if (home == nullptr || *home == '\0')
            fail(line, key, "'" + Shown(value) + "' is in the home folder, but HOME is " + (home ? "empty" : "not set"));
        return home + std::string(value.substr(1));
    };
    // Everything a section's values must agree on, its sample rate
    // included, so nothing opens for a file with a bad section anywhere.
    const auto finish = [&] {
        if (monitors.empty()) return;
        const MonitorConfig& m = monitors.back();
        if (m.Opts.Input.empty()) fail(m.SectionLine, "input", section(m) + " names no input");
        if (IsSdrInput(m.Opts.Input) && !m.Opts.DialHz)
            fail(m.InputLine, "input", "a soapy: input needs dial, the radio frequency at the analysed 0 Hz");
        for (const auto& [key, line] : m.KeyLines)
            if (const Option* o = FindOption("--" + key); !IsSdrInput(m.Opts.Input) && (o->Scope & (kSdrOnly | kTuned)) != 0)
                fail(line, key, "only with a soapy: input");
        if (const std::optional<SettingsError> e = CheckSettings(m.Opts.Measure))
            fail(lineOf(m, e->Field), e->Field, Why(e->Message.rfind("span: ", 0) == 0 ? e->Message.substr(6) : e->Message, e->Field));
        try {
            CheckOptions(m.Opts);
        } catch (const Stop& s) {
            fail(m.SectionLine, "", section(m) + ": " + s.Message);
        }
        try {
            const ChainParams p = CheckedRunParams(m.Opts, m.Opts.Rate, "");
            CheckRunSizes(p.NFFT, p.FMinBin, p.FMaxBin, p.NAvg);
        } catch (const SettingsError& e) {
            fail(lineOf(m, e.Field), e.Field, Why(e.Message, e.Field));
        } catch (const Fault& f) {
            fail(m.SectionLine, "", section(m) + ": " + f.what());
        }
    };
    std::set<std::string> keys; // of the current section
    Options shared = base;      // with the keys before the first section
    std::size_t at = 0;
    for (int line = 1; at < text.size(); ++line) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        if (end - at > kMaxLineBytes)
            fail(line, "", "longer than " + std::to_string(kMaxLineBytes) + " bytes, the most a line may hold");
        const std::string_view raw = std::string_view(text).substr(at, end - at);
        at = end + 1;
        const std::string_view content = Trimmed(raw);
        if (content.empty() || CommentMark(content[0])) continue;
        if (content[0] == '[') {
            const auto close = content.find(']');
            const std::string_view name = close == std::string_view::npos ? "" : Trimmed(content.substr(1, close - 1));
            if (name.empty() || !OnlyComment(content.substr(close + 1))) fail(line, "", "a section must be [name]");
            for (const char c : name)
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
                    fail(line, "", "section [" + Shown(name) + "]: a name holds no control characters");
            finish();
            if (!names.insert(std::string(name)).second) fail(line, "", "section [" + Shown(name) + "] is repeated");
            if (monitors.size() == kMaxMonitors)
                fail(line, "", "more than " + std::to_string(kMaxMonitors) + " sections, the most monitors one process runs");
            // The command line's --plot is the picture of all monitors together.
            Options defaults = shared;
            defaults.Input.clear();
            defaults.Plot.clear();
            defaults.PlotSizeTyped = false;
            defaults.PlotWidth = Options{}.PlotWidth, defaults.PlotHeight = Options{}.PlotHeight;
            MonitorConfig& m = monitors.emplace_back();
            m.Name = name;
            m.Opts = std::move(defaults);
            m.SectionLine = line;
            m.FromFile = true;
            keys.clear();
            continue;
        }
        const auto eq = content.find('=');
        if (eq == std::string_view::npos) fail(line, "", "expected key = value");
        const std::string key(Trimmed(content.substr(0, eq)));
        if (key.empty()) fail(line, "", "expected key = value");
        std::string why;
        const std::string_view value = ValueOf(content.substr(eq + 1), &why);
        if (!keys.insert(key).second)
            fail(line, key, monitors.empty() ? std::string("given twice before the first section") : "given twice in " + section(monitors.back()));
        if (!why.empty()) fail(line, key, why);
        if (value.find('\0') != std::string_view::npos) fail(line, key, "a NUL byte in the value '" + Shown(value) + "'");
        if (monitors.empty()) {
            // The run's own keys (the broker): every section starts from them.
            try {
                SetRunOption(shared, key, value);
            } catch (const Stop& s) {
                fail(line, key, Why(s.Message, key));
            }
            continue;
        }
        MonitorConfig& m = monitors.back();
        const bool file = key == "output" || key == "plot";
        const std::string v = file ? home(line, key, value) : std::string(value);
        try {
            SetMonitorOption(m.Opts, key, v);
        } catch (const Stop& s) {
            fail(line, key, Why(s.Message, key));
        }
        // Nothing may block the run's start: a FIFO would, until a reader came.
        if (file)
            if (const std::string kind = NotAFileToWrite(v); !kind.empty()) fail(line, key, v + " " + kind, kExitFile);
        m.KeyLines[key] = line;
        if (key == "input") m.InputLine = line;
    }
    finish();
    if (monitors.empty()) Fail(kExitUsage, path + ": no monitor: the file has no [section]");
    CheckMqttOptions(shared);

    // What monitors share: no picture twice, and one format per output.
    std::map<std::string, const MonitorConfig*> pictures, outputs;
    if (!base.Plot.empty()) pictures[SameFileKey(base.Plot)] = nullptr;
    for (const MonitorConfig& m : monitors) {
        if (!m.Opts.Plot.empty()) {
            const auto [it, added] = pictures.emplace(SameFileKey(m.Opts.Plot), &m);
            if (!added)
                fail(lineOf(m, "plot"), "plot", m.Opts.Plot + " is already the picture of " +
                                                    (it->second ? section(*it->second) : std::string("all monitors (--plot)")));
        }
        const auto [it, added] = outputs.emplace(m.Opts.Output.empty() ? "" : SameFileKey(m.Opts.Output), &m);
        if (!added && it->second->Opts.Csv != m.Opts.Csv)
            fail(lineOf(m, m.KeyLines.count("format") ? "format" : "output"), "format",
                 std::string(m.Opts.Csv ? "csv" : "log") + " to " +
                     (m.Opts.Output.empty() ? std::string("standard output") : m.Opts.Output) + ", where " +
                     section(*it->second) + " writes " + (it->second->Opts.Csv ? "csv" : "log") +
                     ": monitors that share an output share its format");
    }
    return monitors;
}
