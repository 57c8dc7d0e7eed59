// app/request_templates.cc
#include "app/request_templates.h"

#include <cstring>
#include <limits>
#include <vector>

#include "app/large_buffer.h"
#include "text/base64.h"

namespace tavrel {
namespace {

#define TAVREL_CRLF "\r\n"
#define TAVREL_DATA "\xCA\xFD\xBE\xDD"

#define TAVREL_BAIDU_DELIMITER "------WebKitFormBoundary3Z6MRVJU9hdwnDUG"
#define TAVREL_360_URL_DELIMITER "------WebKitFormBoundarykcz9f3Gj8B9wZqFw"
#define TAVREL_SOGOU_DELIMITER "------WebKitFormBoundary6ItRk2qCkSXcOEiZ"
#define TAVREL_360_FILE_DELIMITER "------WebKitFormBoundaryud22IkS1zfYOsusr"

constexpr std::string_view kUserAgentLine =
    "User-Agent: Mozilla/5.0 (Windows NT 10.0; WOW64) AppleWebKit/537.36 (KHTML, like Gecko) "
    "Chrome/70.0.3538.25 Safari/537.36 Core/1.70.3741.400 QQBrowser/10.5.3863.400\r\n";
constexpr std::string_view kAcceptLine =
    "Accept: text/html,application/xhtml+xml,application/xml;q=0.9,image/webp,image/apng,*/*;"
    "q=0.8\r\n";

// The sample address is spliced in as a literal so that the form is one
// constant; the static_assert below keeps the two in step.
#define TAVREL_BAIDU_SAMPLE "https://img.tavrel.example/sample/harbour-at-dusk.png"
static_assert(std::string_view(TAVREL_BAIDU_SAMPLE) == kBaiduSampleImageAddress);

constexpr std::string_view kBaiduUploadForm =
    TAVREL_BAIDU_DELIMITER TAVREL_CRLF
    "Content-Disposition: form-data; name=\"image\"" TAVREL_CRLF
    TAVREL_CRLF
    TAVREL_BAIDU_SAMPLE TAVREL_CRLF
    TAVREL_BAIDU_DELIMITER TAVREL_CRLF
    "Content-Disposition: form-data; name=\"tn\"" TAVREL_CRLF
    TAVREL_CRLF
    "pc" TAVREL_CRLF
    TAVREL_BAIDU_DELIMITER TAVREL_CRLF
    "Content-Disposition: form-data; name=\"from\"" TAVREL_CRLF
    TAVREL_CRLF
    "pc" TAVREL_CRLF
    TAVREL_BAIDU_DELIMITER TAVREL_CRLF
    "Content-Disposition: form-data; name=\"image_source\"" TAVREL_CRLF
    TAVREL_CRLF
    "PC_UPLOAD_URL" TAVREL_CRLF
    TAVREL_BAIDU_DELIMITER "--" TAVREL_CRLF;

constexpr std::string_view kImage360AddressForm =
    TAVREL_360_URL_DELIMITER TAVREL_CRLF
    "Content-Disposition: form-data; name=\"upload\"; filename=\"\"" TAVREL_CRLF
    "Content-Type: application/octet-stream" TAVREL_CRLF
    TAVREL_CRLF
    TAVREL_CRLF
    TAVREL_360_URL_DELIMITER TAVREL_CRLF
    "Content-Disposition: form-data; name=\"imgurl\"" TAVREL_CRLF
    TAVREL_CRLF
    TAVREL_DATA TAVREL_CRLF
    TAVREL_360_URL_DELIMITER TAVREL_CRLF
    "Content-Disposition: form-data; name=\"base64image\"" TAVREL_CRLF
    TAVREL_CRLF
    TAVREL_CRLF
    TAVREL_360_URL_DELIMITER TAVREL_CRLF
    "Content-Disposition: form-data; name=\"submittype\"" TAVREL_CRLF
    TAVREL_CRLF
    "imgurl" TAVREL_CRLF
    TAVREL_360_URL_DELIMITER TAVREL_CRLF
    "Content-Disposition: form-data; name=\"src\"" TAVREL_CRLF
    TAVREL_CRLF
    "st" TAVREL_CRLF
    TAVREL_360_URL_DELIMITER "--" TAVREL_CRLF;

constexpr std::string_view kSogouUploadForm =
    TAVREL_SOGOU_DELIMITER TAVREL_CRLF
    "Content-Disposition: form-data; name=\"flag\"" TAVREL_CRLF
    TAVREL_CRLF
    "1" TAVREL_CRLF
    TAVREL_SOGOU_DELIMITER TAVREL_CRLF
    "Content-Disposition: form-data; name=\"pic_path\"; filename=\"5afb7f2d82c29.jpg\"" TAVREL_CRLF
    "Content-Type: image/jpeg" TAVREL_CRLF
    TAVREL_CRLF
    TAVREL_DATA TAVREL_CRLF
    TAVREL_SOGOU_DELIMITER "--";

constexpr std::string_view kImage360FileForm =
    TAVREL_360_FILE_DELIMITER TAVREL_CRLF
    "Content-Disposition: form-data; name=\"upload\"; filename=\"5afb7f2d82c29.jpg\"" TAVREL_CRLF
    "Content-Type: image/jpeg" TAVREL_CRLF
    TAVREL_CRLF
    TAVREL_DATA TAVREL_CRLF
    TAVREL_360_FILE_DELIMITER TAVREL_CRLF
    "Content-Disposition: form-data; name=\"imgurl\"" TAVREL_CRLF
    TAVREL_CRLF
    TAVREL_CRLF
    TAVREL_360_FILE_DELIMITER TAVREL_CRLF
    "Content-Disposition: form-data; name=\"base64image\"" TAVREL_CRLF
    TAVREL_CRLF
    TAVREL_CRLF
    TAVREL_360_FILE_DELIMITER TAVREL_CRLF
    "Content-Disposition: form-data; name=\"submittype\"" TAVREL_CRLF
    TAVREL_CRLF
    "upload" TAVREL_CRLF
    TAVREL_360_FILE_DELIMITER TAVREL_CRLF
    "Content-Disposition: form-data; name=\"src\"" TAVREL_CRLF
    TAVREL_CRLF
    "st" TAVREL_CRLF
    TAVREL_360_FILE_DELIMITER TAVREL_CRLF
    TAVREL_CRLF
    TAVREL_CRLF;

static_assert(kBaiduUploadForm.size() - kBaiduSampleImageAddress.size() == 432);
static_assert(kImage360AddressForm.size() == 580);
static_assert(kSogouUploadForm.size() == 289);
static_assert(kImage360FileForm.size() == 585);

// The header blocks of the two multipart posts to the third service differ
// only in their boundary.
Text Image360Headers(const ServiceOrigins& origins, std::string_view boundary) {
  std::string block;
  block.append("Origin: ").append(origins.image360).append("\r\n");
  block.append("Upgrade-Insecure-Requests: 1\r\n");
  block.append("Content-Type: multipart/form-data; boundary=").append(boundary).append("\r\n");
  block.append(kUserAgentLine);
  block.append(kAcceptLine);
  block.append("Referer: ").append(origins.image360).append("/\r\n");
  return Text(std::move(block));
}

// Builds `form` with each placeholder replaced by `value_size` bytes that
// `write_value` writes at the given place, in one buffer of the final size.
template <typename WriteValue>
std::string FillFormWith(std::string_view form, std::string_view placeholder,
                         std::size_t value_size, WriteValue write_value) {
  std::vector<std::size_t> hits;
  if (!placeholder.empty()) {
    for (std::size_t at = form.find(placeholder); at != std::string_view::npos;
         at = form.find(placeholder, at + placeholder.size())) {
      hits.push_back(at);
    }
  }
  if (hits.empty()) return std::string(form);
  const std::size_t kept = form.size() - hits.size() * placeholder.size();
  if (value_size > (std::numeric_limits<std::size_t>::max() / 2 - kept) / hits.size()) return {};
  std::string out;
  if (!ResizeLargeBuffer(out, kept + hits.size() * value_size)) return {};
  char* dest = out.data();
  std::size_t from = 0;
  for (std::size_t at : hits) {
    std::memcpy(dest, form.data() + from, at - from);
    dest += at - from;
    write_value(dest);
    dest += value_size;
    from = at + placeholder.size();
  }
  std::memcpy(dest, form.data() + from, form.size() - from);
  return out;
}

}  // namespace

Text BaiduUploadAddress(const ServiceOrigins& origins) {
  return Text(origins.baidu + "/upload?uptime=");
}
Text SogouSearchAddress(const ServiceOrigins& origins) {
  return Text(origins.sogou + "/ris?flag=1&drag=0&query=");
}
Text SogouUploadAddress(const ServiceOrigins& origins) {
  return Text(origins.sogou + "/ris_upload");
}
Text Image360UploadAddress(const ServiceOrigins& origins) {
  return Text(origins.image360 + "/stu");
}
Text Image360Origin(const ServiceOrigins& origins) { return Text(origins.image360); }

std::string_view BaiduUploadForm() { return kBaiduUploadForm; }
std::string_view Image360AddressForm() { return kImage360AddressForm; }
std::string_view SogouUploadForm() { return kSogouUploadForm; }
std::string_view Image360FileForm() { return kImage360FileForm; }

Text BaiduUploadHeaders(const ServiceOrigins& origins) {
  std::string block;
  block.append("Origin: ").append(origins.baidu).append("\r\n");
  block.append("X-Requested-With: XMLHttpRequest\r\n");
  block.append(kUserAgentLine);
  block.append("Content-Type: multipart/form-data; boundary=----WebKitFormBoundary3Z6MRVJU9hdwnDUG\r\n");
  block.append("Referer: ").append(origins.baidu).append("/pcpage/index?tpl_from=pc\r\n");
  return Text(std::move(block));
}

Text Image360AddressHeaders(const ServiceOrigins& origins) {
  return Image360Headers(origins, "----WebKitFormBoundarykcz9f3Gj8B9wZqFw");
}

Text SogouUploadHeaders(const ServiceOrigins& origins) {
  std::string block;
  block.append("Origin: ").append(origins.sogou).append("\r\n");
  block.append("Upgrade-Insecure-Requests: 1\r\n");
  block.append("Content-Type: multipart/form-data; boundary=----WebKitFormBoundary6ItRk2qCkSXcOEiZ\r\n");
  block.append(kUserAgentLine);
  block.append(kAcceptLine);
  block.append("Referer: ").append(origins.sogou).append("/\r\n");
  return Text(std::move(block));
}

Text Image360FileHeaders(const ServiceOrigins& origins) {
  return Image360Headers(origins, "----WebKitFormBoundaryud22IkS1zfYOsusr");
}

std::string FillForm(std::string_view form, std::string_view placeholder,
                     std::string_view value) {
  return FillFormWith(form, placeholder, value.size(), [value](char* dest) {
    if (!value.empty()) std::memcpy(dest, value.data(), value.size());
  });
}

std::string FillFormWithBase64(std::string_view form, std::string_view placeholder,
                               std::string_view data) {
  return FillFormWith(form, placeholder, Base64EncodedSize(data.size()),
                      [data](char* dest) { Base64EncodeInto(data, dest); });
}

#undef TAVREL_CRLF
#undef TAVREL_DATA
#undef TAVREL_BAIDU_DELIMITER
#undef TAVREL_360_URL_DELIMITER
#undef TAVREL_SOGOU_DELIMITER
#undef TAVREL_360_FILE_DELIMITER
#undef TAVREL_BAIDU_SAMPLE

}  // namespace tavrel
