#include "pulse_server.h"

#include <pulse/error.h>
#include <pulse/simple.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace sv::test {

namespace fs = std::filesystem;

namespace {

std::string MakeTempDir(const char* prefix) {
  const char* tmp = std::getenv("TMPDIR");
  std::string base = tmp && *tmp ? tmp : "/tmp";
  // The socket's path inside must fit a socket address (108 bytes).
  if (base.size() > 60) base = "/tmp";
  std::string pattern = base + "/" + prefix + "XXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  return mkdtemp(buf.data()) ? std::string(buf.data()) : std::string();
}

bool CanConnect(const std::string& path) {
  sockaddr_un addr{};
  if (path.size() >= sizeof addr.sun_path) return false;
  addr.sun_family = AF_UNIX;
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  const bool ok = connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0;
  close(fd);
  return ok;
}

}  // namespace

PulseServer::PulseServer(Options options) : options_(options) {
  dir_ = MakeTempDir("sv-pulse-");
  if (dir_.empty()) {
    error_ = std::string("cannot make a temporary directory: ") + std::strerror(errno);
    return;
  }
  for (const char* sub : {"runtime", "state", "home"}) fs::create_directories(fs::path(dir_) / sub);
  socket_ = dir_ + "/runtime/native";
  launch();
}

PulseServer::~PulseServer() {
  stopProcess(SIGTERM, std::chrono::seconds(5));
  if (!dir_.empty()) {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }
}

void PulseServer::removeFilesForExit() {
  if (dir_.empty()) return;
  std::error_code ignored;
  fs::remove_all(dir_, ignored);
  dir_.clear();
}

bool PulseServer::launch() {
  error_.clear();
  const std::string rate = std::to_string(options_.rate);
  const std::string channels = std::to_string(options_.channels);
  // No default script (so no hardware, no session-bus or desktop modules), no daemon, no pid
  // file, no priority changes that root alone could make; the sink is loaded before the
  // socket opens, so a client that can connect finds it. The sink never rewinds: a rewind
  // plays again into the sink what its monitor has already recorded, and the recording would
  // miss it. The server leaves by itself once no client has been connected for a while,
  // should it outlive its test process.
  std::vector<std::string> args = {
      "pulseaudio",
      "-n",
      "--daemonize=no",
      "--system=no",
      "--use-pid-file=no",
      "--exit-idle-time=30",
      "--realtime=no",
      "--high-priority=no",
      "--no-cpu-limit=yes",
      "--disallow-exit=yes",
      "--log-target=stderr",
      "--log-level=notice",
      "-L",
      "module-null-sink sink_name=" + sinkName() + " rate=" + rate + " channels=" + channels +
          " norewinds=1" + " sink_properties=device.description=Sonvera-test-output",
      "-L",
      "module-native-protocol-unix auth-anonymous=1 socket=" + socket_,
  };
  // A clean environment: everything the server writes stays in the temporary directory and
  // it finds no session bus or display to register with.
  std::vector<std::string> env = {
      "PATH=/usr/local/bin:/usr/bin:/bin",
      "HOME=" + dir_ + "/home",
      "XDG_CONFIG_HOME=" + dir_ + "/home/.config",
      "XDG_RUNTIME_DIR=" + dir_ + "/runtime",
      "PULSE_RUNTIME_PATH=" + dir_ + "/runtime",
      "PULSE_STATE_PATH=" + dir_ + "/state",
      "DBUS_SESSION_BUS_ADDRESS=unix:path=" + dir_ + "/no-bus",
      "DBUS_SYSTEM_BUS_ADDRESS=unix:path=" + dir_ + "/no-bus",
      "LANG=C",
  };
  std::vector<char*> argv, envp;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  const std::string logPath = dir_ + "/server.log";
  const pid_t parent = getpid();

  const pid_t pid = fork();
  if (pid < 0) {
    error_ = std::string("fork: ") + std::strerror(errno);
    return false;
  }
  if (pid == 0) {
    // Only async-signal-safe calls between fork and exec.
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) _exit(127);
    const int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (log >= 0) {
      dup2(log, STDOUT_FILENO);
      dup2(log, STDERR_FILENO);
    }
    const int null = open("/dev/null", O_RDONLY | O_CLOEXEC);
    if (null >= 0) dup2(null, STDIN_FILENO);
    execve("/usr/bin/pulseaudio", argv.data(), envp.data());
    _exit(127);
  }
  pid_ = pid;

  // Ready once the socket accepts connections; bounded, so a broken install cannot hang a test.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    if (CanConnect(socket_)) return true;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      error_ = "pulseaudio exited at start-up (is it installed? tools/install-deps installs it):\n" + log();
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  error_ = "pulseaudio did not open its socket within 10 s:\n" + log();
  stopProcess(SIGKILL, std::chrono::seconds(1));
  return false;
}

void PulseServer::stopProcess(int signal, std::chrono::milliseconds grace) {
  if (pid_ <= 0) return;
  ::kill(pid_, signal);
  const auto deadline = std::chrono::steady_clock::now() + grace;
  int status = 0;
  while (waitpid(pid_, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() >= deadline) {
      ::kill(pid_, SIGKILL);
      waitpid(pid_, &status, 0);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  pid_ = -1;
}

bool PulseServer::running() const {
  if (pid_ <= 0) return false;
  int status = 0;
  return waitpid(pid_, &status, WNOHANG) == 0;
}

std::string PulseServer::log() const {
  std::ifstream in(dir_ + "/server.log");
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void PulseServer::useForThisProcess() const {
  setenv("PULSE_SERVER", address().c_str(), 1);
  // A desktop session's own device choice must not leak in.
  unsetenv("PULSE_SINK");
  unsetenv("PULSE_SOURCE");
}

bool PulseServer::restartSinkClock() const {
  for (const char* suspend : {"1", "0"}) {
    const std::string server = "--server=" + address();
    const std::string sink = sinkName();
    const char* argv[] = {"pactl", server.c_str(), "suspend-sink", sink.c_str(), suspend, nullptr};
    pid_t pid = 0;
    if (posix_spawn(&pid, "/usr/bin/pactl", nullptr, nullptr, const_cast<char**>(argv), environ) != 0)
      return false;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return false;
  }
  return true;
}

void PulseServer::kill() { stopProcess(SIGKILL, std::chrono::seconds(1)); }

bool PulseServer::restart() {
  if (dir_.empty()) return false;
  stopProcess(SIGTERM, std::chrono::seconds(5));
  std::error_code ignored;
  fs::remove(socket_, ignored);
  return launch();
}

void UseNoSoundServer() {
  // Below a file, so nothing can ever listen there.
  setenv("PULSE_SERVER", "unix:/dev/null/no-sound-server", 1);
  unsetenv("PULSE_SINK");
}

MonitorRecorder::MonitorRecorder(const PulseServer& server)
    : rate_(server.options().rate), channels_(server.options().channels) {
  pa_sample_spec spec{};
  spec.format = PA_SAMPLE_S16LE;
  spec.rate = static_cast<uint32_t>(rate_);
  spec.channels = static_cast<uint8_t>(channels_);
  // Small fragments, so that frames() keeps up with what the sink has played.
  pa_buffer_attr attr{};
  attr.maxlength = static_cast<uint32_t>(-1);
  attr.fragsize = static_cast<uint32_t>(rate_ / 100 * channels_ * 2);
  int err = 0;
  pa_simple* stream = pa_simple_new(server.address().c_str(), "sonvera-tests", PA_STREAM_RECORD,
                                    server.monitorName().c_str(), "monitor", &spec, nullptr, &attr, &err);
  if (!stream) {
    error_ = std::string("cannot record the monitor: ") + pa_strerror(err);
    return;
  }
  // The null sink keeps the block length it chose while nobody listened (seconds) until its next
  // wake-up; suspending and resuming it starts a new block at the recorder's short latency.
  if (!server.restartSinkClock()) error_ = "cannot suspend and resume the null sink";
  thread_ = std::thread([this, stream] { run(stream); });
}

MonitorRecorder::~MonitorRecorder() { stop(); }

void MonitorRecorder::run(void* handle) {
  auto* stream = static_cast<pa_simple*>(handle);
  std::vector<std::int16_t> chunk(static_cast<std::size_t>(rate_ / 100 * channels_));
  while (!stopping_) {
    int err = 0;
    if (pa_simple_read(stream, chunk.data(), chunk.size() * sizeof chunk[0], &err) < 0) break;
    const std::lock_guard lock(mutex_);
    samples_.insert(samples_.end(), chunk.begin(), chunk.end());
  }
  pa_simple_free(stream);
}

std::int64_t MonitorRecorder::frames() const {
  const std::lock_guard lock(mutex_);
  return static_cast<std::int64_t>(samples_.size()) / channels_;
}

std::vector<std::int16_t> MonitorRecorder::stop() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
  const std::lock_guard lock(mutex_);
  return samples_;
}

}  // namespace sv::test
