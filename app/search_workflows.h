// app/search_workflows.h
//
// The two searches behind the window's buttons. They talk to the window only
// through SearchSurface, so they run the same against the real window and
// against stand-ins (tests, benchmark).
//
//   SearchByAddress(window_surface, kServiceOrigins);   // button 按钮1
//   SearchByLocalImage(window_surface, kServiceOrigins);  // button 按钮2
#ifndef TAVREL_APP_SEARCH_WORKFLOWS_H_
#define TAVREL_APP_SEARCH_WORKFLOWS_H_

#include <optional>
#include <string>
#include <string_view>

#include "app/service_origins.h"
#include "text/text.h"

namespace tavrel {

// A file confirmed in the open-file dialog.
struct ChosenFile {
  // The full path in code page 936, as the dialog's file name reads.
  Text path;
  // The same path as the file system spells it (UTF-8 bytes here). The file is
  // opened by this one, so a name with characters outside code page 936 is
  // still found.
  std::string native_path;
};

// What a search needs of the window.
class SearchSurface {
 public:
  virtual ~SearchSurface() = default;

  // The text of the edit box 编辑框1, in code page 936.
  [[nodiscard]] virtual Text AddressBoxText() = 0;
  // Writes PaneAddress of pane 1, 2 or 3 (top to bottom); returns at once.
  virtual void SetPaneAddress(int pane, const Text& address) = 0;
  // Sets the open-file dialog 通用对话框1 to the open-file kind with `filter`
  // ("description|pattern|..." in code page 936) and shows it modally.
  // nullopt when it was cancelled or closed.
  [[nodiscard]] virtual std::optional<ChosenFile> ChooseOpenFile(const Text& filter) = 0;
};

// Posts the typed address to the first and third services and points the
// three panes at their result pages. Reads the edit box anew before each
// service, so text typed during the first request reaches the others.
void SearchByAddress(SearchSurface& surface, const ServiceOrigins& origins);

// Lets the user pick an image file and uploads its bytes to the three
// services. Does nothing when the dialog is cancelled.
void SearchByLocalImage(SearchSurface& surface, const ServiceOrigins& origins);

// The whole content of the file at `native_path`. Empty for an empty path, a
// file that cannot be opened or read (a folder, say), an empty file and a file
// too large to hold in memory.
[[nodiscard]] Bytes ReadWholeFile(const std::string& native_path);

}  // namespace tavrel

#endif  // TAVREL_APP_SEARCH_WORKFLOWS_H_
