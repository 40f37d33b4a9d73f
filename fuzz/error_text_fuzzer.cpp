// The messages that carry the DFU library's text, which comes from outside the program and
// may be of any length or hold '%' itself. Input: a result code (4), then the library's text
// (UTF-16LE). Promises: for each of the program's formats, the text and the code go in
// whole, once each, and the rest of the format stays as it is.
#include <cstdint>
#include <string>

#include "fuzz/FuzzInput.h"
#include "procedure/ErrorText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::Input input(data, size);
  const auto code = static_cast<std::int32_t>(static_cast<std::uint32_t>(input.Take(4)));
  std::wstring text;
  while (input.Remaining() >= 2) text.push_back(static_cast<wchar_t>(input.Take(2)));

  for (const wchar_t* format : {L"Error %s (%d) reading flash parameters.",
                                L"Error %s (%d) reported during downloading bootloader!\n",
                                L"Error %s (%d) reported during erasing of last sector of MCU\n",
                                L"Error %s (%d) reported during finishing process!\n"}) {
    const std::wstring message = FormatLibraryError(format, text, code);
    const std::wstring pattern = format;
    const std::size_t textAt = pattern.find(L"%s");
    const std::size_t codeAt = pattern.find(L"%d");
    const std::wstring expected = pattern.substr(0, textAt) + text + pattern.substr(textAt + 2, codeAt - textAt - 2) +
                                  std::to_wstring(code) + pattern.substr(codeAt + 2);
    FUZZ_REQUIRE(message == expected);
  }
  return 0;
}
