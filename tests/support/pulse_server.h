#pragma once
// A private PulseAudio server for the tests that play real sound: its own runtime folder
// under a temporary directory, one null sink (the default device) whose monitor can be
// recorded, no hardware and no session bus. Runs as root too. The server is stopped by its
// process id when the object goes, and dies with the test process if that crashes (when the
// thread that started it does: start it from the main thread).
#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace sv::test {

class PulseServer {
 public:
  struct Options {
    int rate = 48000;  // the null sink's sample rate
    int channels = 2;
  };

  // Starts a server and waits until clients can connect to it; error() says why not.
  explicit PulseServer(Options options);
  PulseServer() : PulseServer(Options{}) {}
  ~PulseServer();
  PulseServer(const PulseServer&) = delete;
  PulseServer& operator=(const PulseServer&) = delete;

  bool running() const;
  const std::string& error() const { return error_; }
  pid_t pid() const { return pid_; }
  const Options& options() const { return options_; }
  // Client address, e.g. "unix:/tmp/sv-pulse-1a2b3c/runtime/native".
  std::string address() const { return "unix:" + socket_; }
  std::string sinkName() const { return "sonvera_test"; }
  std::string monitorName() const { return sinkName() + ".monitor"; }
  // The server's own log, for a failing test's message.
  std::string log() const;

  // Points this process's PulseAudio clients (Qt Multimedia among them) at this server.
  // Takes effect for clients created afterwards.
  void useForThisProcess() const;

  // Makes the null sink start a new block at the shortest latency its clients ask for.
  bool restartSinkClock() const;

  // Ends the server at once, as a crash would (SIGKILL), and reaps it.
  void kill();
  // Starts the server again at the same address after kill() or a crash.
  bool restart();

  // Removes the server's files and leaves it running until this process ends (it is started
  // with a parent-death signal), for a process that exits without running destructors.
  void removeFilesForExit();

 private:
  bool launch();
  void stopProcess(int signal, std::chrono::milliseconds grace);

  Options options_;
  std::string dir_;     // temporary directory holding everything the server writes
  std::string socket_;  // its native-protocol socket
  pid_t pid_ = -1;
  std::string error_;
};

// Points this process's clients at a socket where no server listens, so that no sound
// server is found (and none is started on demand).
void UseNoSoundServer();

// Records the null sink's monitor on a thread of its own, as 16-bit PCM at the sink's
// rate and channel count.
class MonitorRecorder {
 public:
  explicit MonitorRecorder(const PulseServer& server);
  ~MonitorRecorder();
  MonitorRecorder(const MonitorRecorder&) = delete;
  MonitorRecorder& operator=(const MonitorRecorder&) = delete;

  bool ok() const { return error_.empty(); }
  const std::string& error() const { return error_; }
  int rate() const { return rate_; }
  int channels() const { return channels_; }

  // Frames recorded so far; safe while recording.
  std::int64_t frames() const;
  // Ends the recording (also when the server has died) and returns all of it, interleaved.
  std::vector<std::int16_t> stop();

 private:
  void run(void* stream);

  int rate_;
  int channels_;
  std::string error_;
  mutable std::mutex mutex_;
  std::vector<std::int16_t> samples_;
  std::atomic<bool> stopping_{false};
  std::thread thread_;
};

}  // namespace sv::test
