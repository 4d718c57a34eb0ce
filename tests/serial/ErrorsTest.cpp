// Error texts, the string tables and RaiseForResult.
#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <typeinfo>

#include "serial/ErrorText.h"
#include "serial/Exceptions.h"
#include "serial/StringResource.h"

namespace serial {
namespace {

struct CodeCase {
  std::int32_t code;
  const char* text;
  const std::type_info* type;
  bool (*inGroup)(const EAPDException&);
};

template <class Group>
bool IsA(const EAPDException& e) {
  return dynamic_cast<const Group*>(&e) != nullptr;
}

class RaiseForResultCodeTest : public testing::TestWithParam<CodeCase> {};

TEST_P(RaiseForResultCodeTest, RaisesTheClassOfTheCodeWithItsText) {
  const CodeCase& c = GetParam();
  try {
    RaiseForResult(c.code);
    FAIL() << "no exception for " << c.code;
  } catch (const EAPDException& e) {
    EXPECT_EQ(typeid(e), *c.type);
    EXPECT_TRUE(c.inGroup(e));
    EXPECT_EQ(e.ErrorCode(), c.code);
    EXPECT_STREQ(e.what(), c.text);
  }
  EXPECT_EQ(ErrorText(c.code), c.text);
  EXPECT_EQ(ErrorText(-c.code), c.text);
}

INSTANTIATE_TEST_SUITE_P(
    ClassTable, RaiseForResultCodeTest,
    testing::Values(
        CodeCase{-1002, "Bad argument passed to function", &typeid(EBadArgument), IsA<EGeneral>},
        CodeCase{-1003, "Got quit message", &typeid(EGotQuitMsg), IsA<EGeneral>},
        CodeCase{-1004, "Terminal buffer greater than 65521", &typeid(EBufferTooBig),
                 IsA<EGeneral>},
        CodeCase{-1005, "ComPort component not assigned", &typeid(EPortNotAssigned), IsA<EGeneral>},
        CodeCase{-1006, "Internal error creating window class", &typeid(EInternal), IsA<EGeneral>},
        CodeCase{-2001, "ie_BadId - Specified comport doesn't exist", &typeid(EBadId),
                 IsA<EOpenComm>},
        CodeCase{-2002, "ie_Baudrate - unsupported baud rate", &typeid(EBaudRate), IsA<EOpenComm>},
        CodeCase{-2003, "ie_Bytesize - invalid byte size", &typeid(EByteSize), IsA<EOpenComm>},
        CodeCase{-2004, "ie_Default - error in default parameters", &typeid(EDefault),
                 IsA<EOpenComm>},
        CodeCase{-2005, "ie_Hardware - Specified comport in use", &typeid(EHardware),
                 IsA<EOpenComm>},
        CodeCase{-2006, "ie_Memory - unable to allocate queues", &typeid(EMemory), IsA<EOpenComm>},
        CodeCase{-2007, "ie_NOpen - device not open", &typeid(ECommNotOpen), IsA<EOpenComm>},
        CodeCase{-2008, "ie_Open - device already open", &typeid(EAlreadyOpen), IsA<EOpenComm>},
        CodeCase{-2009, "No more handles, can't open port", &typeid(ENoHandles), IsA<EOpenComm>},
        CodeCase{-2010, "No timers available", &typeid(ENoTimers), IsA<EOpenComm>},
        CodeCase{-2011, "The ComNumber property of the TApdComPort has not been set",
                 &typeid(ENoPortSelected), IsA<EOpenComm>},
        CodeCase{-3001, "No device layer specified", &typeid(ENullApi), IsA<ESerialIO>},
        CodeCase{-3003, "EnableCommNotification failed", &typeid(ERegisterHandlerFailed),
                 IsA<ESerialIO>},
        CodeCase{-3004, "Failed to put entire block", &typeid(EPutBlockFail), IsA<ESerialIO>},
        CodeCase{-3005, "Failed to get entire block", &typeid(EGetBlockFail), IsA<ESerialIO>},
        CodeCase{-3006, "Output buffer too small for block", &typeid(EOutputBufferTooSmall),
                 IsA<ESerialIO>},
        CodeCase{-3007, "Buffer is empty", &typeid(EBufferIsEmpty), IsA<ESerialIO>},
        CodeCase{-3008, "Tracing not enabled", &typeid(ETracingNotEnabled), IsA<ESerialIO>},
        CodeCase{-3009, "Logging not enabled", &typeid(ELoggingNotEnabled), IsA<ESerialIO>},
        CodeCase{-3010, "Base address not set", &typeid(EBaseAddressNotSet), IsA<ESerialIO>},
        CodeCase{-5002, "Data trigger too long", &typeid(ETriggerTooLong), IsA<ETrigger>},
        CodeCase{-5003, "Bad trigger handle", &typeid(EBadTriggerHandle), IsA<ETrigger>}));

struct UnclassedCase {
  std::int32_t code;
  const char* tableText;
};

class RaiseForResultUnclassedTest : public testing::TestWithParam<UnclassedCase> {};

// Codes with a text but no class, and codes outside every family, become the
// generic exception with no code.
TEST_P(RaiseForResultUnclassedTest, RaisesVarnExceptionWithCodeZero) {
  try {
    RaiseForResult(GetParam().code);
    FAIL();
  } catch (const EAPDException& e) {
    EXPECT_EQ(typeid(e), typeid(EAPDException));
    EXPECT_STREQ(e.what(), "Varn exception");
    EXPECT_EQ(e.ErrorCode(), 0);
  }
  EXPECT_EQ(ErrorText(GetParam().code), GetParam().tableText);
}

INSTANTIATE_TEST_SUITE_P(Codes, RaiseForResultUnclassedTest,
                         testing::Values(UnclassedCase{-1001, "Bad handle passed to com function"},
                                         UnclassedCase{-3002, "Function not supported by driver"},
                                         UnclassedCase{-5001, "No more trigger slots"},
                                         UnclassedCase{-163, ""}, UnclassedCase{-9999, ""}));

TEST(RaiseForResultTest, ReturnsSuccessAndCounts) {
  EXPECT_EQ(RaiseForResult(0), 0);
  EXPECT_EQ(RaiseForResult(1234), 1234);
}

TEST(RaiseForResultTest, ReturnsNegativeResultUnchangedWhileLoading) {
  EXPECT_EQ(RaiseForResult(-5003, true), -5003);
  EXPECT_EQ(RaiseForResult(-8, true), -8);
}

TEST(RaiseForResultTest, OutOfMemoryCodeRaisesTheRuntimeError) {
  EXPECT_THROW(RaiseForResult(-8), std::bad_alloc);
}

struct SystemCase {
  std::int32_t code;
  const char* text;
};

class RaiseForResultSystemTest : public testing::TestWithParam<SystemCase> {};

TEST_P(RaiseForResultSystemTest, RaisesInOutErrorWithTextAndMagnitude) {
  try {
    RaiseForResult(GetParam().code);
    FAIL();
  } catch (const EInOutError& e) {
    EXPECT_STREQ(e.what(), GetParam().text);
    EXPECT_EQ(e.ErrorCode(), -GetParam().code);
  }
}

INSTANTIATE_TEST_SUITE_P(Codes, RaiseForResultSystemTest,
                         testing::Values(SystemCase{-2, "File not found"},
                                         SystemCase{-3, "Path not found"},
                                         SystemCase{-5, "File access denied"},
                                         SystemCase{-6, "Invalid file handle"},
                                         SystemCase{-18, "No more files"},
                                         SystemCase{-100, "Attempt to read beyond end of file"},
                                         SystemCase{-105, "File/device not open for output"},
                                         SystemCase{-150, "Disk is write-protected"},
                                         SystemCase{-162, "General failure"}));

// Ids of 2..162 without an entry fall back to the system's text, cleaned of
// line breaks; the comm devices report 31 and 87 this way.
TEST(ErrorTextTest, FallsBackToTheSystemTextWithoutControlCharacters) {
  for (std::int32_t code : {-31, -87}) {
    const std::string text = ErrorText(code);
    ASSERT_FALSE(text.empty()) << code;
    EXPECT_LE(text.size(), kMaxErrorText);
    EXPECT_EQ(text.find_first_of("\r\n\t"), std::string::npos) << text;
    EXPECT_EQ(text.find("  "), std::string::npos) << text;
  }
  EXPECT_EQ(ErrorText(-31), ErrorText(31));
}

TEST(ErrorTextTest, MagnitudeOutsideTheTableUsesTheSystemText) {
  EXPECT_FALSE(ErrorText(-1).empty());
  EXPECT_EQ(ErrorText(-1), ErrorText(1));
}

TEST(ErrorTextTest, CodeUnknownToBothGivesEmptyText) {
  EXPECT_EQ(ErrorText(-4242), "");
  EXPECT_STREQ(EAPDException(-4242).what(), "");
}

TEST(ErrorTextTest, IdZeroIsOk) {
  EXPECT_EQ(ErrorText(0), "OK");
}

TEST(ErrorTextTest, OperatingSystemIdsWithoutEntryAreEmptyInTheTable) {
  for (std::uint32_t id : {1u, 7u, 9u, 14u, 16u, 17u, 19u, 99u, 106u, 149u, 163u})
    EXPECT_EQ(ErrorStrings().GetString(id), "") << id;
}

TEST(ExceptionTest, TextConstructorHasCodeZero) {
  const EAPDException e(std::string("something"));
  EXPECT_EQ(e.ErrorCode(), 0);
  EXPECT_STREQ(e.what(), "something");
}

struct ManagerCase {
  std::uint32_t id;
  const char* text;
};

class ManagerStringsTest : public testing::TestWithParam<ManagerCase> {};

TEST_P(ManagerStringsTest, HoldsTheManagersMessages) {
  EXPECT_EQ(ManagerStrings().GetString(GetParam().id), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(All, ManagerStringsTest,
                         testing::Values(ManagerCase{1, "String not found: %d"},
                                         ManagerCase{2, "Cannot lock resource"},
                                         ManagerCase{3, "String resource not found: %s"},
                                         ManagerCase{4, "Unable to open string resource: %s"},
                                         ManagerCase{5, "Invalid KeshString resource"},
                                         ManagerCase{0, ""}, ManagerCase{6, ""}));

TEST(StringResourceTest, MissingResourceIsRefusedWithItsName) {
  try {
    TAdStringResource table("NO_SUCH_TABLE");
    FAIL();
  } catch (const EKeshStringResourceError& e) {
    EXPECT_STREQ(e.what(), "String resource not found: NO_SUCH_TABLE");
  }
}

TEST(StringResourceTest, EmptyNameIsAnEmptyManager) {
  TAdStringResource table("");
  EXPECT_EQ(table.GetString(0), "");
}

}  // namespace
}  // namespace serial
