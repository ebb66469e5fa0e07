#include "errors.h"

#include <utility>

namespace kelto {

EKeltoError::EKeltoError(std::string AMessage, const void* ARaiseAddress)
    : FMessage(std::move(AMessage)), FRaiseAddress(ARaiseAddress) {}

void RaiseInOutError(const char* AMessage) { throw EInOutError(AMessage, KELTO_RETURN_ADDRESS()); }

void RaiseArgumentOutOfRange() {
  throw EArgumentOutOfRangeException("Argument out of range", KELTO_RETURN_ADDRESS());
}

void CopyTruncated(const char* AText, char* ABuffer, std::size_t ACapacity) noexcept {
  std::size_t LLength = 0;
  for (; AText != nullptr && AText[LLength] != '\0' && LLength + 1 < ACapacity; ++LLength) {
    ABuffer[LLength] = AText[LLength];
  }
  ABuffer[LLength] = '\0';
}

TErrorDescription::TErrorDescription(const char* AClassName, const char* AMessage,
                                     const void* ARaiseAddress) noexcept
    : ClassName(AClassName != nullptr ? AClassName : ""), RaiseAddress(ARaiseAddress) {
  CopyTruncated(AMessage, Message, kMessageCapacity);
}

TErrorDescription DescribeCurrentException() noexcept {
  try {
    throw;
  } catch (const EKeltoError& LError) {
    return {LError.ClassName(), LError.what(), LError.RaiseAddress()};
  } catch (const EOutOfMemory& LError) {
    return {EOutOfMemory::ClassName(), LError.what(), LError.RaiseAddress()};
  } catch (const std::bad_alloc&) {
    return {EOutOfMemory::ClassName(), "Out of memory", nullptr};
  } catch (const std::exception& LError) {
    return {"Exception", LError.what(), nullptr};
  } catch (...) {
    return {"Exception", "Unknown exception", nullptr};
  }
}

namespace {

class TFixedWriter {
 public:
  TFixedWriter(char16_t* ABuffer, std::size_t ACapacity) noexcept
      : FBuffer(ABuffer), FCapacity(ACapacity) {}

  void Put(char16_t AUnit) noexcept {
    if (FLength < FCapacity) FBuffer[FLength++] = AUnit;
  }
  // The class name and message are the program's own ASCII texts, or a foreign exception's
  // narrow text; bytes above 0x7F are shown as '?' rather than guessed at.
  void PutNarrow(const char* AText) noexcept {
    for (; AText != nullptr && *AText != '\0'; ++AText) {
      const auto LByte = static_cast<unsigned char>(*AText);
      Put(LByte < 0x80 ? static_cast<char16_t>(LByte) : u'?');
    }
  }
  void PutWide(std::u16string_view AText) noexcept {
    for (char16_t LUnit : AText) Put(LUnit);
  }
  void PutHex8(std::uint32_t AValue) noexcept {
    for (int LShift = 28; LShift >= 0; LShift -= 4) {
      Put(static_cast<char16_t>(u"0123456789ABCDEF"[(AValue >> LShift) & 0xFu]));
    }
  }
  std::size_t Length() const noexcept { return FLength; }

 private:
  char16_t* FBuffer;
  std::size_t FCapacity;
  std::size_t FLength = 0;
};

}  // namespace

std::size_t FormatErrorReport(const TErrorDescription& AError, std::u16string_view AModuleName,
                              std::uint32_t AModuleOffset, char16_t* ABuffer,
                              std::size_t ACapacity) noexcept {
  TFixedWriter LWriter(ABuffer, ACapacity);
  LWriter.PutWide(u"Exception ");
  LWriter.PutNarrow(AError.ClassName);
  LWriter.PutWide(u" in module ");
  LWriter.PutWide(AModuleName);
  LWriter.PutWide(u" at ");
  LWriter.PutHex8(AModuleOffset);
  LWriter.PutWide(u".\r\n");
  LWriter.PutNarrow(AError.Message);
  const std::string_view LMessageView(AError.Message);
  if (!LMessageView.empty() && LMessageView.back() != '.') LWriter.Put(u'.');
  LWriter.PutWide(u"\r\n\r\n");
  return LWriter.Length();
}

}  // namespace kelto
