// app/default_browser.h
//
// Hands an address to the user's default web browser.
//
//   OpenInDefaultBrowser("https://example.test/page");
#ifndef TAVREL_APP_DEFAULT_BROWSER_H_
#define TAVREL_APP_DEFAULT_BROWSER_H_

#include "text/text.h"

namespace tavrel {

// Opens `address` (code page 936) in the default browser. The empty text is
// handed over too, as an empty address. The outcome is not examined.
void OpenInDefaultBrowser(const Text& address);

}  // namespace tavrel

#endif  // TAVREL_APP_DEFAULT_BROWSER_H_
