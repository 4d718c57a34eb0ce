// The serial engine against plain programs on the same pseudo-terminal,
// measured side by side in interleaved pairs (first pair dropped as warm-up):
//   bulk-receive    engine (a data handler taking everything) vs head -c
//   paced-receive   reader CPU at 921600 baud, engine vs cat
//   idle            CPU of an open port with no traffic
//   echo            one-byte round trip, engine vs cat
//   paced-transmit  writer CPU at 921600 baud's byte rate in 64-byte writes,
//                   engine vs a plain paced write loop
//   bulk-transmit   64 MiB through the output ring (OutSize 65535, 4 KiB
//                   blocks) vs dd's 4 KiB write loop (for information: a line
//                   is paced)
// SERIAL_BENCH_PAIRS sets the number of pairs (default 11); SERIAL_BENCH_ONLY
// names the measurements to run (default all).
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "bench/serial/BenchSupport.h"

namespace bench {

int RunEngineMode(const std::string& mode, int comNumber, std::size_t count);

// The plain paced write loop: serial_bench loop <slave path> <count>.
int RunWriteLoop(const std::string& slavePath, std::size_t count) {
  const int fd = open(slavePath.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return 1;
  WritePaced(fd, count, kPacedBytesPerSecond);
  close(fd);
  return 0;
}

namespace {

constexpr int kCom = 7;
constexpr std::size_t kBulkBytes = 64u << 20;
constexpr double kPacedSeconds = 4;
constexpr int kIdleSeconds = 3;
constexpr int kEchoRounds = 2000;
constexpr double kMegabyte = 1 << 20;

std::string self;

std::size_t PacedBytes() {
  return static_cast<std::size_t>(kPacedBytesPerSecond * kPacedSeconds) / 64 * 64;
}

struct Run {
  double seconds = 0;
  double cpu = 0;
  long wakeUps = 0;
};

int OpenSlave(const BenchPty& pty, int flags) {
  return open(pty.SlavePath().c_str(), flags | O_NOCTTY | O_CLOEXEC);
}

Child Engine(const BenchPty& pty, const std::string& mode, std::size_t count) {
  return Child({self, "engine", mode, std::to_string(pty.ComNumber()), std::to_string(count)}, -1,
               -1, true);
}

// The engine child says "ready" once its port is open; anything else is a
// failed open, and the measurement cannot go on.
void WaitReady(Child& child) {
  const std::string line = child.ReadLine();
  if (line != "ready") {
    std::fprintf(stderr, "serial_bench: the engine did not open the port (%s)\n", line.c_str());
    std::exit(1);
  }
}

// A reference program reading the slave as its standard input.
Run ReferenceReceive(const BenchPty& pty, const std::vector<std::string>& argv,
                     const std::function<void()>& feed, bool stopAfterFeed) {
  pty.MakeSlaveRaw();
  pty.Drain();
  const int slave = OpenSlave(pty, O_RDONLY);
  const int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
  const auto start = Clock::now();
  Child child(argv, slave, null);
  close(slave);
  close(null);
  feed();
  if (stopAfterFeed) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    kill(child.Pid(), SIGTERM);
  }
  const ChildResult result = child.Wait();
  return {Seconds(Clock::now() - start), result.cpuSeconds, result.wakeUps};
}

Run EngineReceive(const BenchPty& pty, std::size_t count, const std::function<void()>& feed) {
  pty.Drain();
  Child child = Engine(pty, "receive", count);
  WaitReady(child);
  const auto start = Clock::now();
  feed();
  const ChildResult result = child.Wait();
  return {Seconds(Clock::now() - start), result.cpuSeconds, result.wakeUps};
}

// Interleaves reference and engine runs, alternating which goes first.
template <class Measure>
std::vector<std::pair<Run, Run>> Pairs(int pairs, Measure measure) {
  std::vector<std::pair<Run, Run>> runs;
  for (int i = 0; i < pairs; ++i) {
    std::pair<Run, Run> pair;
    if (i % 2 == 0) {
      pair.first = measure(false);
      pair.second = measure(true);
    } else {
      pair.second = measure(true);
      pair.first = measure(false);
    }
    if (i > 0) runs.push_back(pair);
  }
  return runs;
}

// A ratio without a goal is printed for comparison only.
void PrintRatio(const char* what, std::vector<double> ratios, const char* goal = nullptr) {
  const Summary s = Summarise(std::move(ratios));
  std::printf("  %-44s %.2fx (spread %.2f..%.2f%s%s)\n", what, s.median, s.low, s.high,
              goal ? "; goal " : "", goal ? goal : "");
}

// The median rates of a bulk transfer of kBulkBytes, reference and engine,
// and the engine's speed beside the reference.
void PrintBulkRates(const std::vector<std::pair<Run, Run>>& runs, const char* reference,
                    const char* referenceNote, const char* ratioName, const char* goal) {
  std::vector<double> speed, referenceRate, engineRate;
  for (const auto& [ref, engine] : runs) {
    speed.push_back(ref.seconds / engine.seconds);
    referenceRate.push_back(kBulkBytes / kMegabyte / ref.seconds);
    engineRate.push_back(kBulkBytes / kMegabyte / engine.seconds);
  }
  std::printf("%s %.1f MB/s%s, engine %.1f MB/s (medians)\n", reference,
              Summarise(referenceRate).median, referenceNote, Summarise(engineRate).median);
  PrintRatio(ratioName, speed, goal);
}

void BenchReceive(const BenchPty& pty, int pairs) {
  const int master = pty.Master();
  auto feed = [&] { WriteStream(master, kBulkBytes); };
  auto runs = Pairs(pairs, [&](bool engine) {
    return engine ? EngineReceive(pty, kBulkBytes, feed)
                  : ReferenceReceive(pty, {"head", "-c", std::to_string(kBulkBytes)}, feed, false);
  });
  std::vector<double> cpu;
  for (const auto& [head, engine] : runs) cpu.push_back(engine.cpu / head.cpu);
  PrintBulkRates(runs, "receive 64 MiB: head -c", " (the pseudo-terminal's own rate)",
                 "receive throughput, engine / head -c", ">= 0.95");
  PrintRatio("receive CPU per MB, engine / head -c", cpu, "<= 1.1");
}

void BenchPaced(const BenchPty& pty, int pairs) {
  const int master = pty.Master();
  const auto bytes = PacedBytes();
  auto feed = [&] { WritePaced(master, bytes, kPacedBytesPerSecond); };
  auto runs = Pairs(pairs, [&](bool engine) {
    return engine ? EngineReceive(pty, bytes, feed) : ReferenceReceive(pty, {"cat"}, feed, true);
  });
  const double arrivals = static_cast<double>(bytes / 64);
  std::vector<double> ratio, catLoad, engineLoad, catWakes, engineWakes;
  for (const auto& [cat, engine] : runs) {
    ratio.push_back((engine.cpu / engine.seconds) / (cat.cpu / cat.seconds));
    catLoad.push_back(100 * cat.cpu / cat.seconds);
    engineLoad.push_back(100 * engine.cpu / engine.seconds);
    catWakes.push_back(cat.wakeUps / arrivals);
    engineWakes.push_back(engine.wakeUps / arrivals);
  }
  std::printf("paced 921600 baud: cat %.2f%%, engine %.2f%% of a core (medians)\n",
              Summarise(catLoad).median, Summarise(engineLoad).median);
  std::printf("  wake-ups per 64-byte arrival: cat %.2f, engine %.2f (all threads; medians)\n",
              Summarise(catWakes).median, Summarise(engineWakes).median);
  PrintRatio("paced reader CPU, engine / cat", ratio, "<= 1.3");
}

void BenchIdle(const BenchPty& pty) {
  pty.Drain();
  Child child = Engine(pty, "idle", kIdleSeconds);
  WaitReady(child);
  const double cpu = std::atof(child.ReadLine().c_str());
  child.Wait();
  std::printf("idle open port: %.3f%% of a core over %d s (goal < 0.1%%)\n",
              100 * cpu / kIdleSeconds, kIdleSeconds);
}

// Median one-byte round trip through whatever echoes on the slave.
double EchoMedian(int master) {
  std::vector<double> rounds;
  char byte = 'e';
  for (int i = 0; i < kEchoRounds + 50; ++i) {
    const auto start = Clock::now();
    if (write(master, &byte, 1) != 1 || !ReadCount(master, 1)) return -1;
    if (i >= 50) rounds.push_back(Seconds(Clock::now() - start));
  }
  return Summarise(rounds).median;
}

void BenchEcho(const BenchPty& pty, int pairs) {
  const int master = pty.Master();
  auto runs = Pairs(pairs, [&](bool engine) {
    pty.MakeSlaveRaw();
    pty.Drain();
    Run run;
    if (engine) {
      int stop[2];
      if (pipe2(stop, O_CLOEXEC) != 0) std::exit(1);
      Child child({self, "engine", "echo", std::to_string(pty.ComNumber()), "0"}, stop[0], -1,
                  true);
      close(stop[0]);
      WaitReady(child);
      run.seconds = EchoMedian(master);
      close(stop[1]);
      child.Wait();
    } else {
      const int slave = OpenSlave(pty, O_RDWR);
      Child child({"cat"}, slave, slave);
      close(slave);
      run.seconds = EchoMedian(master);
      kill(child.Pid(), SIGTERM);
      child.Wait();
    }
    return run;
  });
  std::vector<double> ratio, catUs, engineUs;
  for (const auto& [cat, engine] : runs) {
    ratio.push_back(engine.seconds / cat.seconds);
    catUs.push_back(cat.seconds * 1e6);
    engineUs.push_back(engine.seconds * 1e6);
  }
  std::printf("one-byte echo: cat %.1f us, engine %.1f us (medians)\n", Summarise(catUs).median,
              Summarise(engineUs).median);
  PrintRatio("echo latency, engine / cat", ratio, "<= 1.5");
}

void BenchTransmit(const BenchPty& pty, int pairs) {
  const int master = pty.Master();
  auto runs = Pairs(pairs, [&](bool engine) {
    pty.MakeSlaveRaw();
    pty.Drain();
    Run run;
    if (engine) {
      Child child = Engine(pty, "transmit", kBulkBytes);
      WaitReady(child);
      const auto start = Clock::now();
      ReadCount(master, kBulkBytes);
      run.seconds = Seconds(Clock::now() - start);
      run.cpu = child.Wait().cpuSeconds;
    } else {
      // Held open here too, so the master does not read a hang-up before dd
      // has opened the slave.
      const int slave = OpenSlave(pty, O_RDWR);
      const auto start = Clock::now();
      Child child({"dd", "if=/dev/zero", "of=" + pty.SlavePath(), "bs=4096",
                   "count=" + std::to_string(kBulkBytes / 4096), "status=none"},
                  -1, -1);
      ReadCount(master, kBulkBytes);
      run.seconds = Seconds(Clock::now() - start);
      run.cpu = child.Wait().cpuSeconds;
      close(slave);
    }
    return run;
  });
  PrintBulkRates(runs, "transmit 64 MiB in 4 KiB blocks (engine OutSize 65535): write loop", "",
                 "transmit throughput, engine / write loop", nullptr);
  std::vector<double> cpu;
  for (const auto& [loop, engine] : runs) cpu.push_back(engine.cpu / loop.cpu);
  PrintRatio("transmit CPU, engine / write loop", cpu);
}

// The writer's CPU while the far end reads what comes, at the paced rate.
void BenchPacedTransmit(const BenchPty& pty, int pairs) {
  const int master = pty.Master();
  const std::size_t bytes = PacedBytes();
  auto runs = Pairs(pairs, [&](bool engine) {
    pty.MakeSlaveRaw();
    pty.Drain();
    // Held open here, so the master does not read a hang-up before the
    // writer has opened the slave.
    const int slave = OpenSlave(pty, O_RDWR);
    Run run;
    Child child = engine ? Engine(pty, "paced-transmit", bytes)
                         : Child({self, "loop", pty.SlavePath(), std::to_string(bytes)}, -1, -1);
    if (engine) WaitReady(child);
    const auto start = Clock::now();
    ReadCount(master, bytes);
    run.seconds = Seconds(Clock::now() - start);
    run.cpu = child.Wait().cpuSeconds;
    close(slave);
    return run;
  });
  std::vector<double> ratio, loopLoad, engineLoad;
  for (const auto& [loop, engine] : runs) {
    ratio.push_back((engine.cpu / engine.seconds) / (loop.cpu / loop.seconds));
    loopLoad.push_back(100 * loop.cpu / loop.seconds);
    engineLoad.push_back(100 * engine.cpu / engine.seconds);
  }
  std::printf(
      "paced transmit 921600 baud, 64-byte writes: write loop %.2f%%, engine %.2f%% of a "
      "core (medians)\n",
      Summarise(loopLoad).median, Summarise(engineLoad).median);
  PrintRatio("paced writer CPU, engine / write loop", ratio, "<= 1.3");
}

}  // namespace
}  // namespace bench

int main(int argc, char** argv) {
  if (argc == 5 && std::string(argv[1]) == "engine")
    return bench::RunEngineMode(argv[2], std::atoi(argv[3]), std::stoull(argv[4]));
  if (argc == 4 && std::string(argv[1]) == "loop")
    return bench::RunWriteLoop(argv[2], std::stoull(argv[3]));
  char path[4096];
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  bench::self = length > 0 ? std::string(path, static_cast<std::size_t>(length)) : argv[0];
  const char* pairsText = std::getenv("SERIAL_BENCH_PAIRS");
  const int pairs = pairsText ? std::max(2, std::atoi(pairsText)) : 11;
  signal(SIGPIPE, SIG_IGN);
  setvbuf(stdout, nullptr, _IOLBF, 0);
  bench::BenchPty pty(bench::kCom);
  std::printf("serial engine on a pseudo-terminal, %d interleaved pairs (medians of ratios)\n",
              pairs - 1);
  const char* only = std::getenv("SERIAL_BENCH_ONLY");
  auto wanted = [only](const char* name) { return !only || std::strstr(only, name); };
  if (wanted("bulk-receive")) bench::BenchReceive(pty, pairs);
  if (wanted("paced-receive")) bench::BenchPaced(pty, pairs);
  if (wanted("idle")) bench::BenchIdle(pty);
  if (wanted("echo")) bench::BenchEcho(pty, pairs);
  if (wanted("paced-transmit")) bench::BenchPacedTransmit(pty, pairs);
  if (wanted("bulk-transmit")) bench::BenchTransmit(pty, pairs);
  return 0;
}
