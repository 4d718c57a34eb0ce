// Repaints per received batch: bytes delivered to the terminal view's data
// handler (in dispatcher-sized pieces) before the GUI thread runs are drained
// by one 0x7E47 and should cost at most one paint of the merged area.
#include <QApplication>
#include <QCoreApplication>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/Messages.h"
#include "platform/qt/QtMessagePump.h"
#include "terminal/view/Terminal.h"
#include "tests/support/PaintCounter.h"

namespace {

constexpr std::size_t kDelivery = 8192;  // the dispatch buffer's size

class BenchPort : public terminal::TerminalPort {
 public:
  bool Open() const override { return true; }
  bool AutoOpen() const override { return false; }
  void OpenPort() override {}
  void SendChar(std::uint8_t) override {}
  void AddPortUser(platform::HWND) override {}
  void RemovePortUser(platform::HWND) override {}
  bool AddDataHandler(const void*, DataHandler handler) override {
    handler_ = std::move(handler);
    return true;
  }
  void RemoveDataHandler(const void*) override { handler_ = nullptr; }
  bool TakeInput(std::uint8_t* dest, std::size_t count) override {
    if (count > pending_.size()) return false;
    std::memcpy(dest, pending_.data(), count);
    pending_.erase(0, count);
    return true;
  }

  int Deliver(const std::string& bytes) {
    int deliveries = 0;
    for (std::size_t at = 0; at < bytes.size(); at += kDelivery, ++deliveries) {
      pending_ = bytes.substr(at, kDelivery);
      handler_(0x7E01, pending_.size());
    }
    return deliveries;
  }

 private:
  DataHandler handler_;
  std::string pending_;
};

void Settle() {
  for (int i = 0; i < 10; ++i) {
    QCoreApplication::processEvents();
    platform::ProcessMessages();
  }
}

std::string Lines(std::size_t bytes) {
  std::string text;
  for (int line = 0; text.size() < bytes; ++line)
    text += "batch line " + std::to_string(line) + std::string(60, '.') + "\r\n";
  text.resize(bytes);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  platform::QtMessagePump pump;
  BenchPort port;
  terminal::TAdTerminal view;
  view.SetUseLazyDisplay(false);
  view.SetComPort(&port);
  view.resize(800, 500);
  view.show();
  Settle();

  ::test::PaintCounter counter;
  view.viewport()->installEventFilter(&counter);
  int worst = 0;
  std::printf("repaints per 0x7E47 batch (goal: at most 1):\n");
  for (std::size_t bytes : {1u, 80u, 4096u, 65536u, 1u << 20}) {
    counter.paints = 0;
    int deliveries = port.Deliver(Lines(bytes));
    Settle();
    worst = std::max(worst, counter.paints);
    std::printf("  %8zu bytes in %3d deliveries: %d repaint%s\n", bytes, deliveries, counter.paints,
                counter.paints == 1 ? "" : "s");
  }
  std::printf("  most repaints for one batch: %d\n", worst);
  return 0;
}
