// text/text_internal.h
//
// Helpers shared by the text/ sources; not part of the interface.
#ifndef TAVREL_TEXT_TEXT_INTERNAL_H_
#define TAVREL_TEXT_TEXT_INTERNAL_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace tavrel::text_internal {

// 0-based offset of the first match of `sought` in `text` at or after `from`,
// or npos. `from` is taken as the first byte of a character; the scan steps
// over double-byte characters (a byte of 0x80 or above and the one after it)
// and a lead byte that is the last byte ends it. `fold_case` folds ASCII
// letters only. An empty `sought` matches at `from` when from < size.
[[nodiscard]] std::size_t ScanFind(std::string_view text, std::string_view sought,
                                   std::size_t from, bool fold_case);

// Reserves `n` bytes in the empty string `s`. For a large buffer it first asks
// the kernel for huge pages: the first touch of fresh 4 KiB pages costs more
// than filling them, and big outputs are touched right after this.
void ReserveLarge(std::string& s, std::size_t n);

}  // namespace tavrel::text_internal

#endif  // TAVREL_TEXT_TEXT_INTERNAL_H_
