// Emulator throughput: plain text fed in 4 KiB chunks, as the view drains it,
// through the TTY emulator and through libvterm's screen layer, measured in
// alternating pairs of CPU time on the same input.
//
//   terminal_throughput                 ratios (vterm, 30- vs 78-character lines)
//   terminal_throughput ours|vterm N [W] feeds N bytes of W-character lines
//                                       (78) once, for instruction counts
#include <vterm.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "terminal/TTYEmulator.h"

namespace {

constexpr std::size_t kChunk = 4096;

// Lines of `width` printable characters, each ended by CR LF.
std::string MakeText(std::size_t bytes, int width) {
  static const char* const kWords[] = {"serial", "port",  "board", "status", "line", "ready",
                                       "0x7E47", "COM12", "baud",  "115200", "DSR",  "CTS"};
  std::string text;
  text.reserve(bytes + 128);
  std::size_t word = 0;
  while (text.size() < bytes) {
    std::string line;
    while (int(line.size()) < width) {
      line += kWords[word++ % (sizeof kWords / sizeof *kWords)];
      line += ' ';
    }
    line.resize(std::size_t(width));
    text += line + "\r\n";
  }
  text.resize(bytes);
  return text;
}

double CpuSeconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// The work of one received batch in the view: the bytes into the buffer,
// then the changed area taken for the repaint.
[[gnu::noinline]] std::size_t FeedOurs(const std::string& text) {
  terminal::TAdTTYEmulator emulator;
  terminal::TAdTerminalBuffer& buffer = emulator.Buffer();
  std::size_t rectangles = 0;
  for (std::size_t at = 0; at < text.size(); at += kChunk) {
    std::size_t count = std::min(kChunk, text.size() - at);
    emulator.HandleReceivedBlock(reinterpret_cast<const std::uint8_t*>(text.data() + at), count);
    terminal::CellRect rect;
    while (buffer.TakeInvalidArea(rect)) ++rectangles;
  }
  return rectangles + std::size_t(buffer.CursorRow().Value());
}

[[gnu::noinline]] std::size_t FeedVterm(const std::string& text) {
  VTerm* vt = vterm_new(24, 80);
  VTermScreen* screen = vterm_obtain_screen(vt);
  vterm_screen_reset(screen, 1);
  for (std::size_t at = 0; at < text.size(); at += kChunk)
    vterm_input_write(vt, text.data() + at, std::min(kChunk, text.size() - at));
  vterm_screen_flush_damage(screen);
  VTermPos cursor;
  vterm_state_get_cursorpos(vterm_obtain_state(vt), &cursor);
  vterm_free(vt);
  return std::size_t(cursor.row);
}

template <typename Feed>
double BytesPerSecond(Feed feed, const std::string& text, std::size_t& sink) {
  double start = CpuSeconds();
  sink += feed(text);
  return double(text.size()) / (CpuSeconds() - start);
}

struct Summary {
  double median;
  double low;
  double high;
};

Summary Summarise(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return {values[values.size() / 2], values.front(), values.back()};
}

int RunRatios() {
  constexpr int kPairs = 11;  // the first is a warm-up and is dropped
  std::size_t sink = 0;
  std::string text78 = MakeText(4 << 20, 78);
  std::string text30 = MakeText(16 << 20, 30);
  std::string text78Long = MakeText(16 << 20, 78);

  std::vector<double> ours, vterm, versus, lines30, lines78, lineRatio;
  for (int pair = 0; pair < kPairs; ++pair) {
    double a = BytesPerSecond(FeedOurs, text78, sink);
    double b = BytesPerSecond(FeedVterm, text78, sink);
    double c = BytesPerSecond(FeedOurs, text30, sink);
    double d = BytesPerSecond(FeedOurs, text78Long, sink);
    if (pair == 0) continue;
    ours.push_back(a);
    vterm.push_back(b);
    versus.push_back(a / b);
    lines30.push_back(c);
    lines78.push_back(d);
    lineRatio.push_back(c / d);
  }
  Summary o = Summarise(ours), v = Summarise(vterm), r = Summarise(versus);
  Summary l30 = Summarise(lines30), l78 = Summarise(lines78), lr = Summarise(lineRatio);
  std::printf("78-character lines, 4 KiB chunks, CPU time, median of %d pairs:\n", kPairs - 1);
  std::printf("  TTY emulator     %8.1f MB/s (%.1f..%.1f)\n", o.median / 1e6, o.low / 1e6,
              o.high / 1e6);
  std::printf("  libvterm screen  %8.1f MB/s (%.1f..%.1f)\n", v.median / 1e6, v.low / 1e6,
              v.high / 1e6);
  std::printf("  ratio            %8.1fx (%.1f..%.1f)   goal >= 60x\n", r.median, r.low, r.high);
  std::printf("30- vs 78-character lines (TTY emulator):\n");
  std::printf("  30: %.1f MB/s  78: %.1f MB/s  ratio %.2f (%.2f..%.2f)   goal >= 0.8\n",
              l30.median / 1e6, l78.median / 1e6, lr.median, lr.low, lr.high);
  return sink == 42 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 1) return RunRatios();
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: %s [ours|vterm BYTES [WIDTH]]\n", argv[0]);
    return 2;
  }
  int width = argc == 4 ? std::atoi(argv[3]) : 78;
  std::string text = MakeText(std::strtoull(argv[2], nullptr, 10), std::max(width, 1));
  std::size_t sink = std::strcmp(argv[1], "vterm") == 0 ? FeedVterm(text) : FeedOurs(text);
  return sink == 0 ? 3 : 0;
}
