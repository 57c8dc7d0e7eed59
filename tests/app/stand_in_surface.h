// tests/app/stand_in_surface.h
//
// A stand-in for the window as the searches see it: the box text and the
// chosen file are set by the test, pane writes are recorded, and a hook runs
// when the dialog closes (to change the file behind the search's back).
#ifndef TAVREL_TESTS_APP_STAND_IN_SURFACE_H_
#define TAVREL_TESTS_APP_STAND_IN_SURFACE_H_

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/search_workflows.h"

namespace tavrel::test_support {

class StandInSurface : public SearchSurface {
 public:
  Text box_text;
  std::optional<ChosenFile> chosen;
  // Runs after the dialog was confirmed, before the search reads the file.
  std::function<void()> after_dialog;
  std::vector<std::pair<int, Text>> writes;

  Text AddressBoxText() override { return box_text; }
  void SetPaneAddress(int pane, const Text& address) override { writes.emplace_back(pane, address); }
  std::optional<ChosenFile> ChooseOpenFile(const Text& /*filter*/) override {
    if (after_dialog) after_dialog();
    return chosen;
  }

  // The last text written to each pane; "<unset>" when none was.
  [[nodiscard]] std::vector<std::string> Panes() const {
    std::vector<std::string> panes(3, "<unset>");
    for (const auto& [pane, address] : writes) panes.at(pane - 1) = address.str();
    return panes;
  }
  // Each pane written exactly once.
  [[nodiscard]] bool EachPaneOnce() const {
    int counts[3] = {0, 0, 0};
    for (const auto& write : writes) {
      if (write.first < 1 || write.first > 3) return false;
      ++counts[write.first - 1];
    }
    return counts[0] == 1 && counts[1] == 1 && counts[2] == 1;
  }

  static ChosenFile File(const std::string& path) {
    return {.path = Text(path), .native_path = path};
  }
};

}  // namespace tavrel::test_support

#endif  // TAVREL_TESTS_APP_STAND_IN_SURFACE_H_
