// tests/app/request_templates_test.cc
#include "app/request_templates.h"

#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include "text/base64.h"

namespace tavrel {
namespace {

int Count(std::string_view text, std::string_view sought) {
  int n = 0;
  for (std::size_t at = text.find(sought); at != std::string_view::npos;
       at = text.find(sought, at + sought.size())) {
    ++n;
  }
  return n;
}

struct FormCase {
  const char* name;
  std::string_view form;
  std::size_t size_without_placeholder_line;  // as the services expect it
  std::string_view placeholder;
  std::string_view ending;
};

TEST(RequestTemplates, FormsHaveTheirSizesPlaceholdersAndEnds) {
  const std::size_t sample_line = kBaiduSampleImageAddress.size();
  const FormCase cases[] = {
      {"BaiduUploadForm", BaiduUploadForm(), 432, kBaiduSampleImageAddress,
       "PC_UPLOAD_URL\r\n------WebKitFormBoundary3Z6MRVJU9hdwnDUG--\r\n"},
      {"Image360AddressForm", Image360AddressForm(), 576, kFormDataPlaceholder,
       "st\r\n------WebKitFormBoundarykcz9f3Gj8B9wZqFw--\r\n"},
      // No CR LF after the final "--".
      {"SogouUploadForm", SogouUploadForm(), 285, kFormDataPlaceholder,
       "\r\n------WebKitFormBoundary6ItRk2qCkSXcOEiZ--"},
      // The plain delimiter and two empty lines, no closing "--".
      {"Image360FileForm", Image360FileForm(), 581, kFormDataPlaceholder,
       "st\r\n------WebKitFormBoundaryud22IkS1zfYOsusr\r\n\r\n\r\n"},
  };
  for (const FormCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.form.size() - c.placeholder.size(), c.size_without_placeholder_line);
    EXPECT_EQ(Count(c.form, c.placeholder), 1);
    ASSERT_GE(c.form.size(), c.ending.size());
    EXPECT_EQ(c.form.substr(c.form.size() - c.ending.size()), c.ending);
    // Outside the placeholder every byte is ASCII, so byte-wise and
    // character-wise searches agree on these forms.
    const std::string rest = FillForm(c.form, c.placeholder, "");
    for (unsigned char byte : rest) ASSERT_LT(byte, 0x80) << "in " << c.name;
  }
  EXPECT_EQ(BaiduUploadForm().size(), 432 + sample_line);
  EXPECT_EQ(Image360AddressForm().size(), 580u);
  EXPECT_EQ(SogouUploadForm().size(), 289u);
  EXPECT_EQ(Image360FileForm().size(), 585u);
  // The sample is an https address of a PNG picture, on a line of its own.
  EXPECT_EQ(kBaiduSampleImageAddress.substr(0, 8), "https://");
  EXPECT_EQ(kBaiduSampleImageAddress.substr(kBaiduSampleImageAddress.size() - 4), ".png");
  EXPECT_EQ(Count(BaiduUploadForm(), "\r\n\r\n" + std::string(kBaiduSampleImageAddress) + "\r\n"), 1);
}

TEST(RequestTemplates, FileFormsDeclareOneNameAndType) {
  for (std::string_view form : {SogouUploadForm(), Image360FileForm()}) {
    EXPECT_EQ(Count(form, "filename=\"5afb7f2d82c29.jpg\"\r\nContent-Type: image/jpeg\r\n\r\n" +
                              std::string(kFormDataPlaceholder) + "\r\n"),
              1);
  }
}

struct HeaderCase {
  const char* name;
  Text block;
  std::string_view form;
  std::vector<std::string> lines;
};

std::vector<std::string> Lines(std::string_view block) {
  std::vector<std::string> lines;
  std::size_t from = 0;
  for (std::size_t at = block.find("\r\n"); at != std::string_view::npos;
       at = block.find("\r\n", from)) {
    lines.emplace_back(block.substr(from, at - from));
    from = at + 2;
  }
  EXPECT_EQ(from, block.size()) << "the last line ends in CR LF";
  return lines;
}

TEST(RequestTemplates, HeaderBlocksCarryTheOriginsAndTheFormsBoundaries) {
  const ServiceOrigins origins{.baidu = "http://b.test:1", .sogou = "http://s.test:2",
                               .image360 = "http://q.test:3"};
  const std::string agent =
      "User-Agent: Mozilla/5.0 (Windows NT 10.0; WOW64) AppleWebKit/537.36 (KHTML, like Gecko) "
      "Chrome/70.0.3538.25 Safari/537.36 Core/1.70.3741.400 QQBrowser/10.5.3863.400";
  const std::string accept =
      "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,image/webp,image/apng,*/*;q=0.8";
  const HeaderCase cases[] = {
      {"BaiduUploadHeaders", BaiduUploadHeaders(origins), BaiduUploadForm(),
       {"Origin: http://b.test:1", "X-Requested-With: XMLHttpRequest", agent,
        "Content-Type: multipart/form-data; boundary=----WebKitFormBoundary3Z6MRVJU9hdwnDUG",
        "Referer: http://b.test:1/pcpage/index?tpl_from=pc"}},
      {"Image360AddressHeaders", Image360AddressHeaders(origins), Image360AddressForm(),
       {"Origin: http://q.test:3", "Upgrade-Insecure-Requests: 1",
        "Content-Type: multipart/form-data; boundary=----WebKitFormBoundarykcz9f3Gj8B9wZqFw",
        agent, accept, "Referer: http://q.test:3/"}},
      {"SogouUploadHeaders", SogouUploadHeaders(origins), SogouUploadForm(),
       {"Origin: http://s.test:2", "Upgrade-Insecure-Requests: 1",
        "Content-Type: multipart/form-data; boundary=----WebKitFormBoundary6ItRk2qCkSXcOEiZ",
        agent, accept, "Referer: http://s.test:2/"}},
      {"Image360FileHeaders", Image360FileHeaders(origins), Image360FileForm(),
       {"Origin: http://q.test:3", "Upgrade-Insecure-Requests: 1",
        "Content-Type: multipart/form-data; boundary=----WebKitFormBoundaryud22IkS1zfYOsusr",
        agent, accept, "Referer: http://q.test:3/"}},
  };
  for (const HeaderCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Lines(c.block), c.lines);
    // The form starts with "--" and the boundary its Content-Type line names.
    const std::string_view type = "Content-Type: multipart/form-data; boundary=";
    const std::size_t at = c.block.view().find(type);
    ASSERT_NE(at, std::string_view::npos);
    const std::string_view rest = c.block.view().substr(at + type.size());
    const std::string boundary(rest.substr(0, rest.find("\r\n")));
    EXPECT_EQ(c.form.substr(0, boundary.size() + 4), "--" + boundary + "\r\n");
  }
}

TEST(RequestTemplates, AddressesFollowTheOrigins) {
  const ServiceOrigins origins{.baidu = "https://b.test", .sogou = "https://s.test",
                               .image360 = "http://q.test"};
  EXPECT_EQ(BaiduUploadAddress(origins), "https://b.test/upload?uptime=");
  EXPECT_EQ(SogouSearchAddress(origins), "https://s.test/ris?flag=1&drag=0&query=");
  EXPECT_EQ(SogouUploadAddress(origins), "https://s.test/ris_upload");
  EXPECT_EQ(Image360UploadAddress(origins), "http://q.test/stu");
  EXPECT_EQ(Image360Origin(origins), "http://q.test");
  EXPECT_EQ(kServiceOrigins.baidu, "https://graph.baidu.com");
  EXPECT_EQ(kServiceOrigins.sogou, "https://pic.sogou.com");
  EXPECT_EQ(kServiceOrigins.image360, "http://st.so.com");
}

TEST(FillForm, ReplacesEveryOccurrenceLeftToRightWithoutRescanning) {
  using namespace std::string_literals;
  const struct {
    const char* name;
    std::string form, placeholder, value, expected;
  } cases[] = {
      {"one", "a<P>b", "<P>", "xyz", "axyzb"},
      {"two, value holds the placeholder", "<P>-<P>", "<P>", "<<P>>", "<<P>>-<<P>>"},
      {"adjacent", "<P><P>", "<P>", "1", "11"},
      {"empty value removes it", "a\r\n<P>\r\nb", "<P>", "", "a\r\n\r\nb"},
      {"absent", "abc", "<P>", "x", "abc"},
      {"empty placeholder", "abc", "", "x", "abc"},
      {"zero bytes travel", "[\xCA\xFD\xBE\xDD]", std::string(kFormDataPlaceholder),
       "\0\x01\0\xff"s, "[\0\x01\0\xff]"s},
      {"half a placeholder stays", "\xCA\xFD|\xBE\xDD", std::string(kFormDataPlaceholder), "x",
       "\xCA\xFD|\xBE\xDD"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(FillForm(c.form, c.placeholder, c.value), c.expected);
  }
}

TEST(FillForm, Base64IsWrittenIntoTheGap) {
  using namespace std::string_literals;
  for (const std::string& data : {""s, "\0"s, "ab"s, "abc"s, "\xff\xfe\0\x01\x02"s}) {
    SCOPED_TRACE(data.size());
    EXPECT_EQ(FillFormWithBase64(BaiduUploadForm(), kBaiduSampleImageAddress, data),
              FillForm(BaiduUploadForm(), kBaiduSampleImageAddress, Base64Encode(data).view()));
  }
  EXPECT_EQ(FillFormWithBase64("<P>|<P>", "<P>", "\xff"), "/w==|/w==");
}

}  // namespace
}  // namespace tavrel
