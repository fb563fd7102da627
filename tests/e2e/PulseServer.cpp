#include "PulseServer.h"

#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>
#include <vector>
#include <cstring>

#include <spawn.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

std::string Quote(const std::string& s) { return "'" + s + "'"; }

std::string Tail(const std::string& file)
{
    std::ifstream in(file);
    std::stringstream ss;
    ss << in.rdbuf();
    std::string s = ss.str();
    return s.size() > 1500 ? s.substr(s.size() - 1500) : s;
}

} // namespace

bool PulseServer::Start(std::string* error)
{
    std::array<char, 64> tmpl{};
    std::snprintf(tmpl.data(), tmpl.size(), "/tmp/parlune-pulse-XXXXXX");
    if (mkdtemp(tmpl.data()) == nullptr) {
        *error = "cannot create a temporary folder for the PulseAudio server";
        return false;
    }
    dir_ = tmpl.data();
    address_ = "unix:" + dir_ + "/native";
    // The socket module comes last: once the server answers, the devices exist.
    {
        std::ofstream pa(dir_ + "/default.pa");
        pa << "load-module module-null-sink sink_name=cable rate=48000 sink_properties=device.description=cable\n"
              "load-module module-remap-source master=cable.monitor source_name=cable_in "
              "source_properties=device.description=cable_in\n"
              "set-default-source cable_in\n"
              "load-module module-native-protocol-unix auth-anonymous=1 socket="
           << dir_ << "/native\n";
    }
    const std::string log = dir_ + "/server.log";
    // Everything the daemon keeps per user goes into the folder, so it
    // neither needs nor disturbs a user session (it also runs as root).
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string var = *e;
        const std::string name = var.substr(0, var.find('='));
        if (name != "HOME" && name != "PULSE_SERVER" && name.rfind("XDG_", 0) != 0 && name.rfind("PULSE_", 0) != 0)
            env.push_back(var);
    }
    for (const char* name : {"HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "PULSE_RUNTIME_PATH", "PULSE_STATE_PATH"})
        env.push_back(std::string(name) + "=" + dir_);
    std::vector<char*> envp;
    for (std::string& e : env)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    const std::string script = dir_ + "/default.pa";
    std::vector<std::string> args = {"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1",
                                     "--disallow-exit", "--system=false", "--use-pid-file=no",
                                     "--log-target=stderr", "-F", script};
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    const int rc = posix_spawnp(&pid_, "pulseaudio", &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) {
        pid_ = 0;
        *error = "cannot run pulseaudio (" + std::string(std::strerror(rc)) +
                 "); install the pulseaudio package (scripts/deps.sh does)";
        return false;
    }
    setenv("PULSE_SERVER", address_.c_str(), 1);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        int status = 0;
        if (waitpid(pid_, &status, WNOHANG) == pid_) {
            pid_ = 0;
            *error = "the private PulseAudio server exited at start-up (is the pulseaudio package installed?):\n" +
                     Tail(log);
            return false;
        }
        if (Pactl("info"))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    *error = "the private PulseAudio server did not answer within 10 s:\n" + Tail(log);
    Stop();
    return false;
}

void PulseServer::Stop()
{
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status = 0;
        for (int i = 0; i < 100 && waitpid(pid_, &status, WNOHANG) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (waitpid(pid_, &status, WNOHANG) == 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
        pid_ = 0;
    }
    if (!dir_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
        dir_.clear();
    }
}

bool PulseServer::Pactl(const std::string& args, std::string* output) const
{
    const std::string cmd = "pactl -s " + Quote(address_) + " " + args + " 2>/dev/null";
    FILE* p = popen(cmd.c_str(), "r");
    if (p == nullptr)
        return false;
    std::string out;
    std::array<char, 512> chunk;
    while (std::fgets(chunk.data(), chunk.size(), p) != nullptr)
        out += chunk.data();
    const int status = pclose(p);
    if (output != nullptr)
        *output = out;
    return status == 0;
}

namespace {

std::string g_error = "the private PulseAudio server was not started";

class PulseEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        g_error.clear();
        if (!TestPulseServer().Start(&g_error) && g_error.empty())
            g_error = "the private PulseAudio server did not start";
    }
    void TearDown() override { TestPulseServer().Stop(); }
};

[[maybe_unused]] ::testing::Environment* const g_env = ::testing::AddGlobalTestEnvironment(new PulseEnvironment);

} // namespace

PulseServer& TestPulseServer()
{
    static PulseServer server;
    return server;
}

const std::string& TestPulseServerError() { return g_error; }
