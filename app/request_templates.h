// app/request_templates.h
//
// The request formats of the three image-search services: the upload
// addresses, the multipart forms and the header blocks, byte for byte, and
// the one routine that fills a form.
//
// Forms are code-page-936 bytes. They are ASCII apart from the placeholder
// "数据" (kFormDataPlaceholder), so a byte-wise search finds exactly what a
// character-wise search would.
//
//   std::string body = FillForm(Image360AddressForm(), kFormDataPlaceholder, address);
//   Text headers = Image360AddressHeaders(kServiceOrigins);
#ifndef TAVREL_APP_REQUEST_TEMPLATES_H_
#define TAVREL_APP_REQUEST_TEMPLATES_H_

#include <string>
#include <string_view>

#include "app/service_origins.h"
#include "text/text.h"

namespace tavrel {

// "数据" in code page 936: the placeholder of the three byte forms.
inline constexpr std::string_view kFormDataPlaceholder = "\xCA\xFD\xBE\xDD";

// The sample image address stored in the first service's form; each search
// replaces it by its own value. It occurs once in the form.
inline constexpr std::string_view kBaiduSampleImageAddress =
    "https://img.tavrel.example/sample/harbour-at-dusk.png";

// The open-file dialog's filter, "description|pattern" in code page 936:
// "图片(*.jpg;*.jpeg;*.bmp;*.png)|*.jpg;*.jpeg;*.bmp;*.png".
inline constexpr std::string_view kImageFileFilter =
    "\xCD\xBC\xC6\xAC(*.jpg;*.jpeg;*.bmp;*.png)|*.jpg;*.jpeg;*.bmp;*.png";

// ---- Addresses ----

// Upload address of the first service without its timestamp:
// origin + "/upload?uptime=".
[[nodiscard]] Text BaiduUploadAddress(const ServiceOrigins& origins);
// Search address of the second service without its query value:
// origin + "/ris?flag=1&drag=0&query=".
[[nodiscard]] Text SogouSearchAddress(const ServiceOrigins& origins);
// File upload of the second service: origin + "/ris_upload".
[[nodiscard]] Text SogouUploadAddress(const ServiceOrigins& origins);
// Upload of the third service: origin + "/stu".
[[nodiscard]] Text Image360UploadAddress(const ServiceOrigins& origins);
// The third service's origin, the prefix of the path its reply names.
[[nodiscard]] Text Image360Origin(const ServiceOrigins& origins);

// ---- Forms (constant bytes) ----

// First service: fields image (kBaiduSampleImageAddress), tn, from and
// image_source; 432 bytes plus the sample address.
[[nodiscard]] std::string_view BaiduUploadForm();
// Third service, by address: fields upload (empty file), imgurl (the
// placeholder), base64image, submittype and src; 580 bytes.
[[nodiscard]] std::string_view Image360AddressForm();
// Second service, by file: fields flag and pic_path (the placeholder as the
// file's content); 289 bytes, no CR LF after the final "--".
[[nodiscard]] std::string_view SogouUploadForm();
// Third service, by file: upload (the placeholder as the file's content),
// imgurl, base64image, submittype and src; 585 bytes, ending in the plain
// delimiter line and two empty lines (no closing "--").
[[nodiscard]] std::string_view Image360FileForm();

// ---- Header blocks (built from the origins; every line ends in CR LF) ----

[[nodiscard]] Text BaiduUploadHeaders(const ServiceOrigins& origins);
[[nodiscard]] Text Image360AddressHeaders(const ServiceOrigins& origins);
[[nodiscard]] Text SogouUploadHeaders(const ServiceOrigins& origins);
[[nodiscard]] Text Image360FileHeaders(const ServiceOrigins& origins);

// ---- Filling ----

// `form` with every occurrence of `placeholder` replaced by `value`, matched
// byte for byte from left to right and resuming after each one (the value is
// never searched). Built in one buffer of its final size. An empty value
// removes the placeholder; an empty placeholder gives the form unchanged.
// Empty when the buffer cannot be allocated.
[[nodiscard]] std::string FillForm(std::string_view form, std::string_view placeholder,
                                   std::string_view value);

// The same with the Base64 text of `data` as the value, encoded straight into
// the buffer (no separate Base64 text is made).
[[nodiscard]] std::string FillFormWithBase64(std::string_view form, std::string_view placeholder,
                                             std::string_view data);

}  // namespace tavrel

#endif  // TAVREL_APP_REQUEST_TEMPLATES_H_
