// app/search_workflows.cc
#include "app/search_workflows.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "app/large_buffer.h"
#include "app/request_templates.h"
#include "net/http_fetch.h"
#include "net/http_fetch_automation.h"
#include "text/text_between.h"
#include "text/timestamp.h"
#include "text/url_encode.h"

namespace tavrel {
namespace {

// The first service answers JSON whose "url" field is directly followed by
// its "sign" field; the address comes with every "/" written "\/".
constexpr std::string_view kBaiduUrlBegin = "{\"url\":\"";
constexpr std::string_view kBaiduUrlEnd = "\",\"sign\":";
// The second service answers a file upload with a short page naming the
// result in a link.
constexpr std::string_view kSogouLinkBegin = "The URL has moved <a href=\"";
constexpr std::string_view kSogouLinkEnd = "\">here</a>\n";
// The third service redirects; its Location line is followed by Server.
constexpr std::string_view kLocationBegin = "Location: ";
constexpr std::string_view kLocationEnd = "\r\nServer:";

// Posts `body` to the first service and gives the result address of its
// reply, backslashes removed.
Text BaiduResultAddress(const ServiceOrigins& origins, std::string_view body) {
  const Text url = BaiduUploadAddress(origins) + MillisecondTimestamp();
  const Text headers = BaiduUploadHeaders(origins);
  const Text reply = HttpFetch({.url = url, .method = 1, .body = body, .headers = headers});
  const Text piece = TextBetween(reply, kBaiduUrlBegin, kBaiduUrlEnd);
  // A JSON string holds no bare double quote: one in the cut means the
  // "sign" field did not follow "url" directly, and there is no address.
  if (piece.view().find('"') != std::string_view::npos) return Text();
  return Replace(piece, "\\", "", 1, -1, /*exact_case=*/true);
}

// The path of the third service's redirect: the value of a "Location: " line
// that is directly followed by a "Server:" line. A cut that runs over a line
// end means some other line came between the two; that is no such line, and
// the path is empty rather than an address with a line break in it.
Text LocationPath(const Text& response_headers, bool fold_case) {
  Text path = TextBetween(response_headers, kLocationBegin, kLocationEnd, 0, fold_case);
  if (path.view().find_first_of("\r\n") != std::string_view::npos) return Text();
  return path;
}

class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) noexcept : fd_(fd) {}
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  [[nodiscard]] int get() const noexcept { return fd_; }

 private:
  int fd_;
};

}  // namespace

Bytes ReadWholeFile(const std::string& native_path) {
  if (native_path.empty()) return {};
  // Without O_NONBLOCK, opening a named pipe would wait for a writer and
  // hang the window; for a regular file it changes nothing.
  FileDescriptor file(::open(native_path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (file.get() < 0) return {};
  struct stat info {};
  if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0) return {};
  const auto size = static_cast<std::size_t>(info.st_size);
  std::string data;
  if (!ResizeLargeBuffer(data, size)) return {};
  std::size_t done = 0;
  while (done < size) {
    const ssize_t got = ::read(file.get(), data.data() + done, size - done);
    if (got < 0) {
      if (errno == EINTR) continue;
      return {};
    }
    if (got == 0) break;  // the file shrank while it was read
    done += static_cast<std::size_t>(got);
  }
  data.resize(done);
  return Bytes(std::move(data));
}

void SearchByAddress(SearchSurface& surface, const ServiceOrigins& origins) {
  // First service: the typed address, unchanged, in place of the sample.
  {
    const Text typed = surface.AddressBoxText();
    const std::string body = FillForm(BaiduUploadForm(), kBaiduSampleImageAddress, typed);
    const Text address = BaiduResultAddress(origins, body);
    surface.SetPaneAddress(1, address);
  }
  // Second service: only a search address, with every byte escaped.
  {
    const Text typed = surface.AddressBoxText();
    surface.SetPaneAddress(2, SogouSearchAddress(origins) + UrlEncode(typed));
  }
  // Third service: the address in the form, the result path in the redirect.
  {
    const Text typed = surface.AddressBoxText();
    const std::string body = FillForm(Image360AddressForm(), kFormDataPlaceholder, typed);
    const Text url = Image360UploadAddress(origins);
    const Text headers = Image360AddressHeaders(origins);
    Text response_headers;
    (void)HttpFetch({.url = url,
                     .method = 1,
                     .body = body,
                     .headers = headers,
                     .response_headers = &response_headers,
                     .no_redirect = true});
    const Text path = LocationPath(response_headers, /*fold_case=*/false);
    surface.SetPaneAddress(3, Image360Origin(origins) + path);
  }
}

void SearchByLocalImage(SearchSurface& surface, const ServiceOrigins& origins) {
  const std::optional<ChosenFile> chosen = surface.ChooseOpenFile(Text(kImageFileFilter));
  if (!chosen) return;
  const Bytes data = ReadWholeFile(chosen->native_path);

  // First service: the Base64 text in place of the sample address. The form
  // is the largest value of the run (4/3 of the file), so it goes as soon as
  // its request has returned.
  {
    Text address;
    {
      const std::string body =
          FillFormWithBase64(BaiduUploadForm(), kBaiduSampleImageAddress, data.view());
      address = BaiduResultAddress(origins, body);
    }
    surface.SetPaneAddress(1, address);
  }
  // Second service: the file's bytes as the file part; the reply is read only
  // up to its first zero byte.
  {
    Text address;
    {
      const std::string form = FillForm(SogouUploadForm(), kFormDataPlaceholder, data.view());
      const Text url = SogouUploadAddress(origins);
      const Text headers = SogouUploadHeaders(origins);
      const Bytes reply =
          HttpFetchAutomation({.url = url, .method = 1, .headers = headers, .body_bytes = form});
      address = TextBetween(BytesToText(reply.view()), kSogouLinkBegin, kSogouLinkEnd);
    }
    surface.SetPaneAddress(2, address);
  }
  // Third service: the file's bytes, redirects off, the path from Location
  // (letter case of the markers ignored here).
  {
    Text path;
    {
      const std::string form = FillForm(Image360FileForm(), kFormDataPlaceholder, data.view());
      const Text url = Image360UploadAddress(origins);
      const Text headers = Image360FileHeaders(origins);
      Text response_headers;
      (void)HttpFetchAutomation({.url = url,
                                 .method = 1,
                                 .headers = headers,
                                 .response_headers = &response_headers,
                                 .no_redirect = true,
                                 .body_bytes = form});
      path = LocationPath(response_headers, /*fold_case=*/true);
    }
    surface.SetPaneAddress(3, Image360Origin(origins) + path);
  }
}

}  // namespace tavrel
