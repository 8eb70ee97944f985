// libFuzzer target for the list-file reader. Besides the sanitizers' own
// checks it holds the reader to what the rest of the program relies on.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "dial_list/list_file.h"

namespace {

bool IsDialChar(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'D') || c == '-' || c == ',' ||
           c == '*' || c == '#';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    static DialList list;
    std::memset(list, 'Z', sizeof list);  // no NUL: an unterminated entry would show
    const ListReadResult result = ParseListFile(bytes, list);

    if (result.status == ListReadStatus::Empty) {
        if (size != 0 || result.entriesRead != 0) std::abort();
        return 0;
    }
    if (result.status != ListReadStatus::Loaded) std::abort();
    if (result.entriesRead < 0 || result.entriesRead > kListEntries) std::abort();
    for (int i = 0; i < kListEntries; ++i) {
        const char* entry = list[i];
        if (i >= result.entriesRead) {
            // Entries after the last one read keep what they held.
            for (int k = 0; k < kEntryBytes; ++k) {
                if (entry[k] != 'Z') std::abort();
            }
            continue;
        }
        const size_t length = strnlen(entry, kEntryBytes);
        if (length >= static_cast<size_t>(kEntryBytes)) std::abort();
        for (size_t k = 0; k < length; ++k) {
            if (!IsDialChar(entry[k])) std::abort();
        }
    }

    // What was read is saved and read back unchanged.
    static DialList again;
    std::memcpy(again, list, sizeof list);
    const std::string saved = FormatListFile(list);
    if (saved.size() > kMaxListFileBytes) std::abort();
    const ListReadResult reread = ParseListFile(saved, again);
    if (reread.status != ListReadStatus::Loaded || reread.entriesRead != kListEntries) std::abort();
    for (int i = 0; i < result.entriesRead; ++i) {
        if (std::strcmp(again[i], list[i]) != 0) std::abort();
    }
    return 0;
}
