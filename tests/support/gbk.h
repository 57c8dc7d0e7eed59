// tests/support/gbk.h
//
// Gbk(): the code-page-936 bytes of a UTF-8 literal. The program's own texts
// (failure messages, placeholders) are code-page-936 text while the test
// sources are UTF-8, so expectations go through this.
//
//   EXPECT_EQ(status_text, Gbk("712 服务器未响应!"));
#ifndef TAVREL_TESTS_SUPPORT_GBK_H_
#define TAVREL_TESTS_SUPPORT_GBK_H_

#include <string_view>

#include "text/code_page.h"
#include "text/text.h"

namespace tavrel::test_support {

inline Text Gbk(std::string_view utf8) {
  return Utf16ToCodePage(CodePageToUtf16(utf8, kCodePageUtf8), kCodePageGbk);
}

}  // namespace tavrel::test_support

#endif  // TAVREL_TESTS_SUPPORT_GBK_H_
