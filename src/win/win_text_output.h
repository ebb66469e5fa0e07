// Standard output of a Windows console program: line by line to a console, held and written
// in one piece at the end to a file or a pipe.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "front_end.h"

namespace kelto::win {

class TStandardOutput final : public TTextOutput {
 public:
  // Opened at the first write; an unusable handle raises EInOutError there.
  void WriteLine(std::u16string_view ALine) override;
  // Writes what is held for a file or a pipe. A failure here is not reported: the process is
  // ending and its exit code is already decided.
  void WriteHeldOutput() noexcept;

 private:
  enum class TState { Unopened, Console, Held };
  void Open();

  TState FState = TState::Unopened;
  HANDLE FHandle = nullptr;
  UINT FCodePage = 0;
  std::string FHeld;
};

// Writes all of ABytes; false when the handle refuses any of them.
bool WriteAll(HANDLE AHandle, std::string_view ABytes) noexcept;

}  // namespace kelto::win
