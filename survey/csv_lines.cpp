// The raw lines of a survey file, read in big blocks or from memory.
#include "csv_lines.h"

namespace qm::detail {

namespace {

constexpr std::size_t kBlockSize = std::size_t{1} << 20;

} // namespace

std::string_view LineText(std::string_view raw, std::string& scratch)
{
    raw = raw.substr(0, FindByte(raw.data(), raw.size(), kEndOfFile));
    if (!raw.empty() && raw.back() == '\r')
        raw.remove_suffix(1);
    std::size_t cr = FindByte(raw.data(), raw.size(), '\r');
    if (cr == raw.size())
        return raw;
    scratch.clear();
    std::size_t from = 0;
    while (cr < raw.size()) {
        scratch.append(raw.data() + from, cr - from);
        from = cr + 1;
        cr = from + FindByte(raw.data() + from, raw.size() - from, '\r');
    }
    scratch.append(raw.data() + from, raw.size() - from);
    return scratch;
}

// A counting loop the compiler vectorizes.
bool PlainLineBytes(const char* p, std::size_t n)
{
    if (n == 0)
        return true;
    unsigned char odd = 0;
    for (std::size_t k = 0; k + 1 < n; ++k)
        odd |= static_cast<unsigned char>((p[k] == kEndOfFile) | ((p[k] == '\r') & (p[k + 1] != '\n')));
    return odd == 0 && p[n - 1] != '\r' && p[n - 1] != kEndOfFile;
}

bool MemoryLines::Next(std::string_view& raw, bool& plain)
{
    if (pos_ >= bytes_.size())
        return false;
    plain = plain_;
    const std::size_t n = FindByte(bytes_.data() + pos_, bytes_.size() - pos_, '\n');
    raw = bytes_.substr(pos_, n);
    pos_ += n + 1;
    return true;
}

FileLines::FileLines(InputFile& file) : file_(file), block_(new char[kBlockSize]) {}

bool FileLines::Next(std::string_view& raw, bool& plain)
{
    carry_.clear();
    plain = false;
    for (;;) {
        if (pos_ < len_) {
            const char* start = block_.get() + pos_;
            const std::size_t rest = len_ - pos_;
            const std::size_t n = FindByte(start, rest, '\n');
            if (n < rest) {
                pos_ += n + 1;
                consumed_ += n + 1;
                if (carry_.empty()) {
                    raw = std::string_view(start, n);
                    plain = blockPlain_;
                } else {
                    carry_.append(start, n);
                    raw = carry_;
                }
                return true;
            }
            carry_.append(start, rest);
            consumed_ += rest;
            pos_ = len_;
        }
        if (end_) {
            if (carry_.empty())
                return false;
            raw = carry_;
            return true;
        }
        len_ = file_.Read(block_.get(), kBlockSize);
        pos_ = 0;
        end_ = len_ == 0;
        blockPlain_ = PlainLineBytes(block_.get(), len_);
    }
}

} // namespace qm::detail
