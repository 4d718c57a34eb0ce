#include <gtest/gtest.h>

#include <array>
#include <cstring>

#include "ModelBoards.h"
#include "mgmt/ByteOrder.h"
#include "mgmt/Shim.h"

namespace mgmt {
namespace {

constexpr std::uint8_t kUntouched = 0xCC;

// Three NT 5 boards: board 1 is "Board 3", found last.
class CommandTable : public testing::Test {
 protected:
  void SetUp() override {
    setup_ = test::MakeNT5Setup(3);
    host_ = setup_.MakeHost();
    shim_ = std::make_unique<Shim>(*host_);
    ASSERT_EQ(AttachShim(*shim_), MgmtSuccess);
    ASSERT_EQ(shim_->boardList.Count(), 3u);
    buffer_.fill(kUntouched);
  }

  MgmtResult Call(std::int32_t board, std::uint32_t command, std::uint32_t outputLength,
                  const void* input = nullptr, std::uint32_t inputLength = 0) {
    return DispatchCommand(*shim_, board, command, input, inputLength, buffer_.data(),
                           outputLength);
  }
  bool Untouched() const {
    for (auto byte : buffer_)
      if (byte != kUntouched) return false;
    return true;
  }
  std::string Text(std::uint32_t offset) const {
    return reinterpret_cast<const char*>(buffer_.data() + offset);
  }

  test::ModelSetup setup_;
  std::unique_ptr<HostModel> host_;
  std::unique_ptr<Shim> shim_;
  std::array<std::uint8_t, 2048> buffer_{};
};

struct LengthCase {
  const char* name;
  std::uint32_t command;
  std::uint32_t outputLength;
  MgmtResult expected;
};

class OutputLengths : public CommandTable, public testing::WithParamInterface<LengthCase> {};

TEST_P(OutputLengths, ShortBufferFailsUntouched) {
  const auto& c = GetParam();
  EXPECT_EQ(Call(1, c.command, c.outputLength), c.expected);
  EXPECT_EQ(Untouched(), c.expected == MgmtFailure);
}

// "Board 3" is 7 characters: the name needs 8 bytes.
INSTANTIATE_TEST_SUITE_P(
    Boundaries, OutputLengths,
    testing::Values(LengthCase{"Version3", MgmtGetVersion, 3, MgmtFailure},
                    LengthCase{"Version4", MgmtGetVersion, 4, MgmtSuccess},
                    LengthCase{"Count3", MgmtGetBoardCount, 3, MgmtFailure},
                    LengthCase{"Count4", MgmtGetBoardCount, 4, MgmtSuccess},
                    LengthCase{"Summary19", MgmtGetBoardSummary, 19, MgmtFailure},
                    LengthCase{"Summary20", MgmtGetBoardSummary, 20, MgmtSuccess},
                    LengthCase{"DriverInfo131", MgmtGetDriverInfo, 131, MgmtFailure},
                    LengthCase{"DriverInfo132", MgmtGetDriverInfo, 132, MgmtSuccess},
                    LengthCase{"NameOfItsLength", MgmtGetBoardName, 7, MgmtFailure},
                    LengthCase{"NameOneMore", MgmtGetBoardName, 8, MgmtSuccess},
                    LengthCase{"Code0", 0, 1024, MgmtFailure},
                    LengthCase{"Code12", 12, 1024, MgmtFailure},
                    LengthCase{"CodeHuge", 0xFFFFFFFF, 1024, MgmtFailure}),
    [](const auto& info) { return std::string(info.param.name); });

struct BoardCase {
  const char* name;
  std::int32_t board;
  const char* description;  // null: no such board
};

class BoardNumbers : public CommandTable, public testing::WithParamInterface<BoardCase> {};

TEST_P(BoardNumbers, CountedFromTheBoardFoundLast) {
  const auto& c = GetParam();
  const MgmtResult result = Call(c.board, MgmtGetBoardName, 251);
  if (!c.description) {
    EXPECT_EQ(result, MgmtFailure);
    EXPECT_TRUE(Untouched());
    EXPECT_EQ(Call(c.board, MgmtGetBoardSummary, 20), MgmtFailure);
    EXPECT_EQ(Call(c.board, MgmtGetPortNames, 1028), MgmtFailure);
    EXPECT_TRUE(Untouched());
    return;
  }
  ASSERT_EQ(result, MgmtSuccess);
  EXPECT_EQ(Text(0), c.description);
}

INSTANTIATE_TEST_SUITE_P(Boards, BoardNumbers,
                         testing::Values(BoardCase{"Zero", 0, nullptr},
                                         BoardCase{"Negative", -1, nullptr},
                                         BoardCase{"One", 1, "Board 3"},
                                         BoardCase{"N", 3, "Board 1"},
                                         BoardCase{"NPlusOne", 4, nullptr}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CommandTable, VersionAndCountIgnoreTheBoardNumber) {
  ASSERT_EQ(Call(77, MgmtGetVersion, 4), MgmtSuccess);
  EXPECT_EQ(GetU32(buffer_.data(), 0), 1u);
  ASSERT_EQ(Call(0, MgmtGetBoardCount, 4), MgmtSuccess);
  EXPECT_EQ(GetU32(buffer_.data(), 0), 3u);
  EXPECT_EQ(buffer_[4], kUntouched);
}

TEST_F(CommandTable, SummaryRepeatsBoardNumberAndPortCount) {
  ASSERT_EQ(Call(2, MgmtGetBoardSummary, 20), MgmtSuccess);
  // Board 2 is the second interface: word 0 0x102, 8 ports.
  EXPECT_EQ(GetU32(buffer_.data(), 0), 2u);
  EXPECT_EQ(GetU32(buffer_.data(), 4), 2u);
  EXPECT_EQ(GetU32(buffer_.data(), 8), 0x102u);
  EXPECT_EQ(GetU32(buffer_.data(), 12), 8u);
  EXPECT_EQ(GetU32(buffer_.data(), 16), 8u);
  EXPECT_EQ(buffer_[20], kUntouched);
}

TEST_F(CommandTable, DriverInfoRecord) {
  ASSERT_EQ(Call(1, MgmtGetDriverInfo, 132), MgmtSuccess);
  EXPECT_EQ(GetU32(buffer_.data(), 0), 3u);
  EXPECT_EQ(Text(4), "orvalis.sys");
  EXPECT_EQ(Text(68), test::kNT5DriverVersion);
  EXPECT_EQ(buffer_[67], 0) << "the rest of the name field is cleared";
  EXPECT_EQ(buffer_[132], kUntouched);
}

struct ForwardCase {
  const char* name;
  std::uint32_t command;
  std::uint32_t code;
  std::uint32_t inputLength;
  std::uint32_t outputLength;
};

class Forwarding : public CommandTable, public testing::WithParamInterface<ForwardCase> {};

TEST_P(Forwarding, CallersBuffersPassUnchanged) {
  const auto& c = GetParam();
  std::uint8_t input[4] = {0, 0, 0, 0};
  const void* in = c.inputLength ? input : nullptr;
  void* out = c.outputLength ? buffer_.data() : nullptr;
  const auto before = host_->Log().requests.size();
  DispatchCommand(*shim_, 1, c.command, in, c.inputLength, out, c.outputLength);
  ASSERT_EQ(host_->Log().requests.size(), before + 1);
  const ModelRequest& sent = host_->Log().requests.back();
  EXPECT_EQ(sent.code, c.code);
  EXPECT_EQ(sent.input, in);
  EXPECT_EQ(sent.inputLength, c.inputLength);
  EXPECT_EQ(sent.output, out);
  EXPECT_EQ(sent.outputLength, c.outputLength);
}

INSTANTIATE_TEST_SUITE_P(Commands, Forwarding,
                         testing::Values(ForwardCase{"Request800", 5, 0x222000, 0, 0},
                                         ForwardCase{"BoardInfo", 6, 0x222004, 0, 120},
                                         ForwardCase{"PortStatus", 7, 0x222008, 4, 56},
                                         ForwardCase{"PortCounters", 8, 0x22200C, 4, 76},
                                         ForwardCase{"Request804", 9, 0x222010, 4, 0},
                                         ForwardCase{"PortNames", 10, 0x222014, 0, 1028},
                                         ForwardCase{"PortStatusTinyOutput", 7, 0x222008, 4, 1}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CommandTable, ForwardedResultIsTheDrivers) {
  std::uint32_t port = 3;
  EXPECT_EQ(Call(3, MgmtGetPortStatus, 56, &port, 4), MgmtSuccess);
  EXPECT_EQ(GetU32(buffer_.data(), 32), 9603u);
  port = 4;  // board 3 (the first interface) has 4 ports
  EXPECT_EQ(Call(3, MgmtGetPortStatus, 56, &port, 4), MgmtFailure);
  ASSERT_EQ(Call(1, MgmtGetPortNames, 1028), MgmtSuccess);
  EXPECT_EQ(GetU32(buffer_.data(), 0), 12u);
  EXPECT_EQ(Text(4), "COM30");
  EXPECT_EQ(Text(4 + 11 * 16), "COM41");
}

TEST_F(CommandTable, ShortDriverAnswerLeavesTheRestOfTheBuffer) {
  setup_.devices.back().second->replyLimit = 8;  // the interface of board 1
  std::uint32_t port = 0;
  ASSERT_EQ(Call(1, MgmtGetPortStatus, 56, &port, 4), MgmtSuccess);
  EXPECT_EQ(GetU32(buffer_.data(), 0), 1u);
  for (int i = 8; i < 56; ++i) ASSERT_EQ(buffer_[i], kUntouched) << i;
}

// A null pointer with a non-zero length fails instead of being written through.
TEST_F(CommandTable, NullBufferWithALengthFails) {
  const auto before = host_->Log().requests.size();
  for (std::uint32_t command = 1; command <= 11; ++command)
    EXPECT_EQ(DispatchCommand(*shim_, 1, command, nullptr, 0, nullptr, 1028), MgmtFailure)
        << command;
  std::uint32_t port = 0;
  EXPECT_EQ(DispatchCommand(*shim_, 1, MgmtGetPortStatus, nullptr, 4, buffer_.data(), 56),
            MgmtFailure);
  EXPECT_EQ(DispatchCommand(*shim_, 1, MgmtGetPortStatus, &port, 4, buffer_.data(), 56),
            MgmtSuccess);
  EXPECT_EQ(host_->Log().requests.size(), before + 1) << "nothing reached the driver";
}

TEST_F(CommandTable, DetachedListAnswersNoBoard) {
  DetachShim(*shim_);
  EXPECT_EQ(Call(1, MgmtGetBoardSummary, 20), MgmtFailure);
  EXPECT_EQ(Call(1, MgmtGetPortNames, 1028), MgmtFailure);
  EXPECT_TRUE(Untouched());
}

TEST(CommandTableWithoutBoards, CountIsZeroAndEveryBoardCommandFails) {
  HostModel host(ModelMachine{});
  Shim shim(host);
  ASSERT_EQ(AttachShim(shim), MgmtSuccess);
  std::array<std::uint8_t, 1028> out{};
  out.fill(kUntouched);
  ASSERT_EQ(DispatchCommand(shim, 0, MgmtGetBoardCount, nullptr, 0, out.data(), 4), MgmtSuccess);
  EXPECT_EQ(GetU32(out.data(), 0), 0u);
  for (std::uint32_t command = 3; command <= 11; ++command)
    EXPECT_EQ(DispatchCommand(shim, 1, command, nullptr, 0, out.data(), 1028), MgmtFailure);
}

TEST(CommandTableTexts, LongDriverTextsAreCutTo63Characters) {
  test::ModelSetup setup = test::MakeNT5Setup(1);
  const std::string service(70, 's');
  setup.machine.interfaces[0].service = service;
  setup.machine.files[0].path = "C:\\WINDOWS\\System32\\Drivers\\" + service + ".sys";
  setup.machine.files[0].version[0].second = std::string(64, 'v');
  auto host = setup.MakeHost();
  Shim shim(*host);
  ASSERT_EQ(AttachShim(shim), MgmtSuccess);
  std::array<std::uint8_t, 132> out{};
  ASSERT_EQ(DispatchCommand(shim, 1, MgmtGetDriverInfo, nullptr, 0, out.data(), 132), MgmtSuccess);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.data() + 4)), std::string(63, 's'));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.data() + 68)), std::string(63, 'v'));
}

TEST(CommandTableTexts, BoardWithoutDescriptionHasNoName) {
  test::ModelSetup setup = test::MakeNT5Setup(1);
  setup.machine.interfaces[0].description.reset();
  auto host = setup.MakeHost();
  Shim shim(*host);
  ASSERT_EQ(AttachShim(shim), MgmtSuccess);
  std::array<std::uint8_t, 251> out{};
  EXPECT_EQ(DispatchCommand(shim, 1, MgmtGetBoardName, nullptr, 0, out.data(), 251), MgmtFailure);
  EXPECT_EQ(DispatchCommand(shim, 1, MgmtGetBoardSummary, nullptr, 0, out.data(), 20), MgmtSuccess);
}

}  // namespace
}  // namespace mgmt
