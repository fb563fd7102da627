#include "PulseServer.h"

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "capture/WaveIn.h"
#include "capture/InputBackend.h"

extern char** environ;

namespace {

std::string g_error = "the private PulseAudio server was not started";

std::string LogTail(const std::string& file)
{
    std::stringstream ss;
    ss << std::ifstream(file).rdbuf();
    const std::string s = ss.str();
    return s.size() > 1500 ? s.substr(s.size() - 1500) : s;
}

std::vector<char*> Pointers(std::vector<std::string>& v)
{
    std::vector<char*> p;
    for (std::string& s : v)
        p.push_back(s.data());
    p.push_back(nullptr);
    return p;
}

} // namespace

bool PulseServer::Start(std::string* error)
{
    char tmpl[] = "/tmp/parlune-pulse-XXXXXX";
    if (mkdtemp(tmpl) == nullptr) {
        *error = "cannot create a temporary folder for the PulseAudio server";
        return false;
    }
    dir_ = tmpl;
    address_ = "unix:" + dir_ + "/native";
    // The socket module comes last: once the server answers, the devices exist.
    std::ofstream(dir_ + "/default.pa")
        << "load-module module-null-sink sink_name=cable rate=48000 sink_properties=device.description=cable\n"
           "load-module module-remap-source master=cable.monitor source_name=cable_in "
           "source_properties=device.description=cable_in\n"
           "set-default-source cable_in\n"
           "load-module module-native-protocol-unix auth-anonymous=1 socket="
        << dir_ << "/native\n";
    // Everything the daemon keeps per user goes into the folder, so it
    // neither needs nor disturbs a user session (it also runs as root).
    std::vector<std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
        const std::string var = *e;
        if (var.rfind("HOME=", 0) != 0 && var.rfind("XDG_", 0) != 0 && var.rfind("PULSE_", 0) != 0)
            env.push_back(var);
    }
    for (const char* name : {"HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "PULSE_RUNTIME_PATH", "PULSE_STATE_PATH"})
        env.push_back(std::string(name) + "=" + dir_);
    std::vector<std::string> args = {"pulseaudio", "-n", "--daemonize=no", "--exit-idle-time=-1", "--disallow-exit",
                                     "--system=false", "--use-pid-file=no", "--log-target=stderr",
                                     "-F", dir_ + "/default.pa"};
    const std::string log = dir_ + "/server.log";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    const int rc = posix_spawnp(&pid_, "pulseaudio", &actions, nullptr, Pointers(args).data(), Pointers(env).data());
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
            *error = "the private PulseAudio server exited at start-up:\n" + LogTail(log);
            return false;
        }
        if (Pactl("info"))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    *error = "the private PulseAudio server did not answer within 10 s:\n" + LogTail(log);
    Stop();
    return false;
}

void PulseServer::Stop()
{
    if (pid_ > 0) {
        kill(pid_, SIGTERM); // 2 s to go, then killed
        for (int i = 0; i < 100 && waitpid(pid_, nullptr, WNOHANG) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (waitpid(pid_, nullptr, WNOHANG) == 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        pid_ = 0;
    }
    if (!dir_.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
        dir_.clear();
    }
}

bool PulseServer::Pactl(const std::string& args) const
{
    return std::system(("pactl -s '" + address_ + "' " + args + " >/dev/null 2>&1").c_str()) == 0;
}

PulseServer& TestPulseServer()
{
    static PulseServer server;
    return server;
}

namespace {

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

void CableTest::SetUp()
{
    ASSERT_TRUE(g_error.empty()) << "The end-to-end tests need their private PulseAudio server: " << g_error;
    const std::uint32_t n = waveInGetNumDevs();
    for (cableIn = 0; cableIn < n && waveInFullName(cableIn) != "cable_in"; ++cableIn) {
    }
    ASSERT_LT(cableIn, n) << "cable_in is not among the " << n << " input devices";
}

TonePlayer::TonePlayer()
{
    const std::string wav = TestPulseServer().Folder() + "/tone.wav";
    const std::vector<std::int16_t> frames = kCableTone.Stereo16(48000 * 14);
    const auto bytes = static_cast<std::uint32_t>(frames.size() * 2);
    std::ofstream f(wav, std::ios::binary);
    auto u32 = [&](std::uint32_t v) { f.write(reinterpret_cast<const char*>(&v), 4); };
    auto u16 = [&](std::uint16_t v) { f.write(reinterpret_cast<const char*>(&v), 2); };
    f.write("RIFF", 4);
    u32(36 + bytes);
    f.write("WAVEfmt ", 8);
    u32(16);
    u16(1); // PCM, 2 channels, 48000 Hz, 4 bytes a frame, 16 bits
    u16(2);
    u32(48000);
    u32(48000 * 4);
    u16(4);
    u16(16);
    f.write("data", 4);
    u32(bytes);
    f.write(reinterpret_cast<const char*>(frames.data()), bytes);
    f.close();
    start("paplay", {"-s", QString::fromStdString(TestPulseServer().Address()), "--device=cable",
                     QString::fromStdString(wav)});
}
