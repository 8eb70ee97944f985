#include "dial_list/list_file.h"

#include <cstring>

#include "framework/file_system.h"

namespace {

constexpr size_t kMaxLineChars = kEntryBytes - 1;

bool IsDialChar(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'D') || c == '-' || c == ',' ||
           c == '*' || c == '#';
}

// Hands out the file one read at a time, the way a line-buffered text reader
// would, with CR LF folded into the single line end.
class LineReader {
public:
    explicit LineReader(std::string_view bytes) : bytes_(bytes) {}

    struct Line {
        std::string_view chars;  // without the line end
        bool ended;              // a line end closed this read
    };

    // False at the end of the file.
    bool Next(Line& line) {
        if (pos_ >= bytes_.size()) return false;
        const size_t start = pos_;
        while (pos_ < bytes_.size()) {
            const size_t count = pos_ - start;
            if (bytes_[pos_] == '\n') {
                line = {bytes_.substr(start, count), true};
                pos_ += 1;
                return true;
            }
            if (bytes_[pos_] == '\r' && pos_ + 1 < bytes_.size() && bytes_[pos_ + 1] == '\n') {
                line = {bytes_.substr(start, count), true};
                pos_ += 2;
                return true;
            }
            if (count == kMaxLineChars) break;  // the rest of the line is the next read
            ++pos_;
        }
        line = {bytes_.substr(start, pos_ - start), false};
        return true;
    }

private:
    std::string_view bytes_;
    size_t pos_ = 0;
};

// The text an entry line stands for, or nothing when the line fails. The last
// character of the read is dropped: the line end when there is one, else the
// last byte that was read.
bool AcceptEntry(const LineReader::Line& line, std::string_view& text) {
    std::string_view chars = line.chars;
    if (!line.ended) chars.remove_suffix(1);
    for (char c : chars) {
        if (!IsDialChar(c)) return false;
    }
    text = chars;
    return true;
}

void SetEntry(char* entry, std::string_view text) {
    if (!text.empty()) std::memcpy(entry, text.data(), text.size());
    entry[text.size()] = '\0';
}

}  // namespace

ListReadResult ParseListFile(std::string_view bytes, DialList& list) {
    LineReader reader(bytes);
    LineReader::Line line;
    if (!reader.Next(line)) return {ListReadStatus::Empty, 0, 0, {}};

    ListReadResult result{ListReadStatus::Loaded, 0, 0, {}};
    auto refuse = [&result](int i, std::string_view chars) {
        if (result.refusedCount++ < kRefusedKept) result.refused.push_back({i, std::string(chars)});
    };
    for (int i = 0; i < kListEntries; ++i) {
        if (!reader.Next(line)) break;  // separator
        if (!reader.Next(line)) break;  // a file may end after a separator
        if (!line.chars.empty() && line.chars[0] == '\0') {
            list[i][0] = '\0';
            refuse(i, line.chars);
            result.entriesRead = i + 1;
            break;
        }
        std::string_view text;
        if (AcceptEntry(line, text)) {
            SetEntry(list[i], text);
        } else {
            SetEntry(list[i], {});
            refuse(i, line.chars);
        }
        result.entriesRead = i + 1;
    }
    return result;
}

ListReadResult ReadListFile(const std::string& path, DialList& list) {
    // No parse looks past kMaxListFileBytes, which also bounds endless devices.
    std::string bytes;
    if (fsys::ReadFile(path, bytes, kMaxListFileBytes, false) != fsys::ReadStatus::Ok) {
        return {ListReadStatus::CannotOpen, 0, 0, {}};
    }
    return ParseListFile(bytes, list);
}

std::string FormatListFile(const DialList& list) {
    std::string out;
    out.reserve(2 + kListEntries * (4 + kMaxLineChars));
    out += "\r\n";
    for (const auto& entry : list) {
        out += "\r\n";
        out.append(entry, strnlen(entry, kMaxLineChars));
        out += "\r\n";
    }
    return out;
}

bool WriteListFile(const std::string& path, const DialList& list, bool* damaged, bool* refused) {
    const fsys::WriteStatus status = fsys::ReplaceFileContents(path, FormatListFile(list));
    if (damaged != nullptr) *damaged = status == fsys::WriteStatus::Damaged;
    if (refused != nullptr) *refused = status == fsys::WriteStatus::Refused;
    return status == fsys::WriteStatus::Ok;
}
