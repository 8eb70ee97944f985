#pragma once
// The program's text is 8-bit and must come back from a control byte for
// byte as it went in, although the toolkits hold UTF-16. Text is decoded as
// UTF-8; every byte that is not part of valid UTF-8 (a legacy code page row,
// say) is carried as one character of a private-use block, U+EF80 to U+EFFF,
// and turned back into that byte on the way out. The block's own UTF-8 form is
// carried the same way, so the mapping is exact both ways, also for text the
// user edits around such bytes.

#include <string>
#include <string_view>

namespace fw {

std::u16string BytesToUtf16(std::string_view bytes);
std::string Utf16ToBytes(std::u16string_view text);

}  // namespace fw
