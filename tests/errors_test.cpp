#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "errors.h"
#include "scripted_device_platform.h"

namespace kelto {
namespace {

std::string Format(const TErrorDescription& AError, std::u16string_view AModule,
                   std::uint32_t AOffset, std::size_t ACapacity = 1024) {
  std::u16string LBuffer(ACapacity, u'#');
  const std::size_t LLength =
      FormatErrorReport(AError, AModule, AOffset, LBuffer.data(), LBuffer.size());
  EXPECT_LE(LLength, ACapacity);
  return testing::Narrow(std::u16string_view(LBuffer).substr(0, LLength));
}

TEST(FormatErrorReport, FillsTheFixedFrame) {
  const struct {
    const char* Message;
    const char* Second;
  } kCases[] = {
      {"Standard output cannot be written", "Standard output cannot be written."},
      {"Out of memory.", "Out of memory."},
      {"", ""},
      {"Ends with a dot..", "Ends with a dot.."},
      {"Trailing space ", "Trailing space ."},
  };
  for (const auto& LCase : kCases) {
    EXPECT_EQ(Format({"EInOutError", LCase.Message, nullptr}, u"kelto.exe", 0x1A2B),
              std::string("Exception EInOutError in module kelto.exe at 00001A2B.\r\n") +
                  LCase.Second + "\r\n\r\n")
        << LCase.Message;
  }
}

TEST(FormatErrorReport, CutsAnOverlongMessageSafely) {
  const std::string LLong(5000, 'm');
  const std::string LReport = Format({"EInOutError", LLong.c_str(), nullptr}, u"kelto.exe", 0);
  const std::size_t LKept = TErrorDescription::kMessageCapacity - 1;
  EXPECT_NE(LReport.find("\r\n" + std::string(LKept, 'm') + ".\r\n\r\n"), std::string::npos);
}

TEST(FormatErrorReport, WritesTheOffsetAsEightUpperCaseDigits) {
  EXPECT_NE(Format({"E", "m", nullptr}, u"m.dll", 0).find(" at 00000000.\r\n"), std::string::npos);
  EXPECT_NE(Format({"E", "m", nullptr}, u"m.dll", 0xDEADBEEF).find(" at DEADBEEF.\r\n"),
            std::string::npos);
}

TEST(FormatErrorReport, StaysInsideItsBufferAndKeepsNonAsciiModuleNames) {
  EXPECT_NE(Format({"EOutOfMemory", "Out of memory", nullptr}, u"k\u00e9lto.exe", 1)
                .find("in module k?lto.exe at"),
            std::string::npos);
  const std::string LFull = Format({"EOutOfMemory", "Out of memory", nullptr}, u"kelto.exe", 1);
  for (std::size_t LCapacity : {0u, 1u, 10u, 40u}) {
    const std::string LCut =
        Format({"EOutOfMemory", "Out of memory", nullptr}, u"kelto.exe", 1, LCapacity);
    EXPECT_EQ(LCut.size(), LCapacity);
    EXPECT_EQ(LCut, LFull.substr(0, LCapacity));
  }
}

TEST(DescribeCurrentException, NamesTheProgramsErrorsAndTheirOrigin) {
  const auto LDescribe = [](auto ARaise) {
    try {
      ARaise();
    } catch (...) {
      return DescribeCurrentException();
    }
    ADD_FAILURE() << "nothing raised";
    return TErrorDescription{};
  };
  const TErrorDescription LInOut = LDescribe([] { RaiseInOutError("cannot write"); });
  EXPECT_STREQ(LInOut.ClassName, "EInOutError");
  EXPECT_STREQ(LInOut.Message, "cannot write");
  EXPECT_NE(LInOut.RaiseAddress, nullptr);

  const TErrorDescription LRange = LDescribe([] { RaiseArgumentOutOfRange(); });
  EXPECT_STREQ(LRange.ClassName, "EArgumentOutOfRangeException");
  EXPECT_STREQ(LRange.Message, "Argument out of range");

  static const int kSomewhere = 0;
  const TErrorDescription LMemory = LDescribe([] { throw EOutOfMemory(&kSomewhere); });
  EXPECT_STREQ(LMemory.ClassName, "EOutOfMemory");
  EXPECT_EQ(LMemory.RaiseAddress, &kSomewhere);

  EXPECT_STREQ(LDescribe([] { throw std::bad_alloc(); }).ClassName, "EOutOfMemory");
  const TErrorDescription LForeign = LDescribe([] { throw std::runtime_error("foreign"); });
  EXPECT_STREQ(LForeign.ClassName, "Exception");
  EXPECT_STREQ(LForeign.Message, "foreign");
  EXPECT_STREQ(LDescribe([] { throw 42; }).ClassName, "Exception");
}

TEST(RaiseHelpers, RecordAnAddressInTheirCaller) {
  const void* LFirst = nullptr;
  const void* LSecond = nullptr;
  try {
    RaiseInOutError("first");
  } catch (const EInOutError& LError) {
    LFirst = LError.RaiseAddress();
  }
  try {
    RaiseInOutError("second");
  } catch (const EInOutError& LError) {
    LSecond = LError.RaiseAddress();
  }
  ASSERT_NE(LFirst, nullptr);
  EXPECT_NE(LFirst, LSecond) << "each raise site has an address of its own";
}

}  // namespace
}  // namespace kelto
