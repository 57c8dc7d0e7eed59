// app/service_origins.h
//
// Where the three image-search services live: scheme and host, no path and no
// "/" at the end. They are values of the build; the program reads no
// configuration. Tests hand a SearchWindow other origins (fakes on loopback).
//
//   ServiceOrigins origins = kServiceOrigins;   // the real services
//   origins.image360 == "http://st.so.com"
#ifndef TAVREL_APP_SERVICE_ORIGINS_H_
#define TAVREL_APP_SERVICE_ORIGINS_H_

#include <string>

namespace tavrel {

struct ServiceOrigins {
  // First service: image recognition upload (pane 1).
  std::string baidu;
  // Second service: picture search (pane 2).
  std::string sogou;
  // Third service: image search (pane 3).
  std::string image360;
};

// The origins the program is built with.
inline const ServiceOrigins kServiceOrigins{
    .baidu = "https://graph.baidu.com",
    .sogou = "https://pic.sogou.com",
    .image360 = "http://st.so.com",
};

}  // namespace tavrel

#endif  // TAVREL_APP_SERVICE_ORIGINS_H_
